// Types of tessarix.js (the global `Tessarix`) and tessarix.mjs (its exports).

export type TessarixErrorCode =
  | "not-running"      // nothing answers on the port: start `tessarix serve`
  | "origin-refused"   // the bridge does not trust this page's origin: `tessarix trust ORIGIN`
  | "access-denied"    // the browser's local-network permission was refused
  | "connection-lost"  // the socket closed; every pending call fails with this too
  | "protocol"         // not a bridge, another protocol version, or a malformed message
  | "automation";      // the control raised an error: see number, source, description

export declare class TessarixError extends Error {
  readonly code: TessarixErrorCode;
  /** Automation errors only: the signed 32-bit error number, e.g. -2147221504. */
  readonly number?: number;
  readonly source?: string;
  readonly description?: string;
  /** origin-refused only: the user denied this origin in the bridge's question. */
  readonly denied?: boolean;
}

export interface BridgeStatus {
  version: string;
  protocol: string;
  originTrusted: boolean;
  /** The bridge's question about this origin on the desktop. */
  question?: "none" | "open" | "denied";
}

export interface ProgressEvent { event: "progress"; object: number; child: string; value: number; }
export interface LogEvent { event: "log"; object: number; child: string; text: string; }
export interface ClosedEvent { event: "closed"; object: number; }
/** An answer the control's upload received: status line and first body line (1 KiB at most each). */
export interface AnswerEvent { event: "answer"; object: number; status: string; line: string; file: string; }
/** A message box the control showed, once answered. `object` is missing when no object is known. */
export interface BoxEvent {
  event: "box"; object?: number; text: string; title: string;
  icon: "" | "critical" | "question" | "exclamation" | "information";
  buttons: "OK" | "OKCancel" | "YesNo" | "YesNoCancel"; answer: "OK" | "Cancel" | "Yes" | "No";
}

/**
 * A control created through the bridge. Any other member name calls that member
 * of the control (any letter case) and resolves with its result.
 */
export interface TessarixObject {
  readonly objectId: number;
  readonly progId: string;
  get(name: string): Promise<unknown>;
  set(name: string, value: unknown): Promise<void>;
  on(event: "progress", cb: (e: ProgressEvent) => void): TessarixObject;
  on(event: "log", cb: (e: LogEvent) => void): TessarixObject;
  on(event: "closed", cb: (e: ClosedEvent) => void): TessarixObject;
  on(event: "answer", cb: (e: AnswerEvent) => void): TessarixObject;
  on(event: "box", cb: (e: BoxEvent) => void): TessarixObject;
  off(event: "progress" | "log" | "closed" | "answer" | "box", cb: (e: any) => void): TessarixObject;
  /** Shows the control's form in its own window. */
  show(): Promise<void>;
  release(): Promise<void>;
  [member: string]: any;
}

export interface ChooseOptions {
  /** A folder instead of files. */
  folder?: boolean;
  /** Several files at once. */
  multiple?: boolean;
  /** The dialog's file-type filter, as the controls' dialogs take it. */
  filter?: string;
}

export interface Connection {
  readonly status: BridgeStatus;
  readonly closed: boolean;
  create(progId: string): Promise<TessarixObject>;
  /** The native dialog; resolves with the chosen paths (empty when cancelled). */
  choose(options?: ChooseOptions): Promise<string[]>;
  /** A raw protocol request, for messages this library has no method for. */
  request(type: string, fields?: Record<string, unknown>): Promise<any>;
  on(event: "close", cb: (e: TessarixError) => void): Connection;
  /** Every box of the session, also those of no known object. */
  on(event: "box", cb: (e: BoxEvent) => void): Connection;
  off(event: "close" | "box", cb: (e: any) => void): Connection;
  close(): void;
}

export interface ConnectOptions {
  /** Default 47373. */
  port?: number;
  /** Default "127.0.0.1". */
  host?: string;
  /** How long GET /status may take, in ms (default 5000): something else may hold the port. */
  statusTimeout?: number;
  /** Called while the socket waits to be let in, each time /status's `question` changes. */
  onWaiting?: (status: BridgeStatus) => void;
}

export declare function connect(options?: ConnectOptions): Promise<Connection>;

export declare const Tessarix: {
  connect: typeof connect;
  TessarixError: typeof TessarixError;
  PROTOCOL: "tessarix.1";
  DEFAULT_PORT: 47373;
};
export default Tessarix;

declare global {
  // Set by the classic script.
  var Tessarix: typeof import("./tessarix.js").Tessarix;
  var TessarixError: typeof import("./tessarix.js").TessarixError;
}
