// The module form of tessarix.js: the same library, as named and default exports.
import "./tessarix.js";

export const Tessarix = globalThis.Tessarix;
export const TessarixError = globalThis.TessarixError;
export const connect = Tessarix.connect;
export default Tessarix;
