// The client library of the browser bridge is served here once it is built.
