#pragma once
// Registration of the server in the per-user registry: the ProgIDs, the class
// identifiers with the library path, the interfaces, and the type library file.
#include "shell/com/Result.h"

#include <QString>

namespace tx::shell {

com::HRESULT registerServer(const QString &libraryPath);
com::HRESULT unregisterServer();

// Where registration installs Tessarix5.json.
QString typeLibraryPath();

} // namespace tx::shell
