#pragma once
// The bridge's commands of the `tessarix` program:
//   tessarix serve [--port N] [--automation] [--if-not-running]
//   tessarix trust [--any-path] ORIGIN | tessarix trust --list | tessarix untrust ORIGIN
//   tessarix bridge-worker ... (started by the service for each session)
namespace tx::bridge {

// Whether `command` is one of them.
bool isBridgeCommand(const char *command);
int runBridgeCommand(int argc, char **argv);

} // namespace tx::bridge
