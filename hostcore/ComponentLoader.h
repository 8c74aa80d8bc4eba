#pragma once
// Finds, loads and asks in-process servers for objects: ProgID -> registry ->
// library -> DllGetClassObject -> class factory. A ProgID that is not registered
// falls back to the component beside the host's own libraries (build/lib in a build
// tree, lib/<multiarch>/tessarix installed), so neither needs registering.
#include "shell/com/Interfaces.h"

#include <QString>

namespace tx::host {

struct ServerLibrary {
    QString path;
    com::DllGetClassObjectFn getClassObject = nullptr;
    com::DllCanUnloadNowFn canUnloadNow = nullptr;
    com::DllRegisterServerFn registerServer = nullptr;
    com::DllUnregisterServerFn unregisterServer = nullptr;
};

// The component that ships beside the host.
QString bundledLibraryPath();

// Loads (once) and keeps the library loaded for the life of the process: an
// object of it may live as long as the process. nullptr and `error` on failure.
const ServerLibrary *loadServer(const QString &path, QString *error);

// A new object's dispatch interface (one reference, the caller's).
// Throws tx::AutomationError 429 naming the ProgID and the reason.
com::IDispatch *createObject(const QString &progId);

} // namespace tx::host
