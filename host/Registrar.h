#pragma once
// tessarix register / unregister: load the library and call its entry points.
#include <QString>

namespace tx::host {

// Registers the library at `path` (the one beside the host when empty); the exit
// status, with a line on standard output or error.
int registerServer(const QString &path);
// Unregisters through the registered library, or the one beside the host.
int unregisterServer();

} // namespace tx::host
