#pragma once
// The per-user registry of in-process servers: one JSON file,
// $XDG_CONFIG_HOME/tessarix/registry.json (~/.config when XDG_CONFIG_HOME is not
// set), shaped like the classes root of a component registry:
//   ProgID.<progid>.CLSID, CLSID.<clsid>.{ProgID, InprocServer32, ...},
//   Interface.<iid>, TypeLib.<libid>.
// This is the only code that knows that layout; servers describe themselves with
// a ServerRecord, hosts ask for what they need.
#include "shell/com/Guid.h"

#include <QJsonObject>
#include <QString>
#include <optional>
#include <vector>

namespace tx::com::registry {

QString folder();
QString filePath();

struct InterfaceRecord {
    Guid iid;
    QString name;
};

struct ClassRecord {
    QString name;
    QString progId;
    Guid clsid;
    bool control = false; // a control with a window
    std::vector<InterfaceRecord> interfaces;
};

// Everything one in-process server registers.
struct ServerRecord {
    Guid libid;
    QString name;
    QString description;
    QString version;
    QString typeLibraryFile;
    QString library; // the server's own path
    std::vector<ClassRecord> classes;
};

enum class Change { Done, Unreadable, NotWritten };

// Why the registry file cannot be used; empty when there is none or it reads as a
// registry. A damaged file is never changed: it holds other servers' entries.
QString damage();

// Adds or replaces the server's entries; other servers' entries stay.
Change add(const ServerRecord &server);
// Removes the server's entries; a ProgID that now points at another server stays.
// An empty registry removes the file.
Change remove(const ServerRecord &server);

struct ClassEntry {
    Guid clsid;
    QString library; // InprocServer32
};
// ProgIDs compare without regard to letter case. Nothing from a damaged file.
std::optional<ClassEntry> lookupProgId(const QString &progId);
// The library registered for a type library; empty when none.
QString libraryOf(const Guid &libid);

// The whole document (an empty object when there is none or it cannot be read),
// and writing one atomically (an empty registry removes the file); for tests.
QJsonObject load();
bool save(const QJsonObject &root);

} // namespace tx::com::registry
