#pragma once
// The per-user registry of in-process servers: one JSON file,
// $XDG_CONFIG_HOME/tessarix/registry.json (~/.config when XDG_CONFIG_HOME is not
// set), shaped like the classes root of a component registry:
//   ProgID.<progid>.CLSID, CLSID.<clsid>.{ProgID, InprocServer32, ...},
//   Interface.<iid>, TypeLib.<libid>.
#include "shell/com/Guid.h"

#include <QJsonObject>
#include <QString>
#include <optional>

namespace tx::com::registry {

QString folder();
QString filePath();

// The whole registry; an empty object when there is none or it cannot be read.
QJsonObject load();
// Writes atomically; an empty registry removes the file. False on failure.
bool save(const QJsonObject &root);

struct ClassEntry {
    Guid clsid;
    QString library; // InprocServer32
};
// ProgIDs compare without regard to letter case.
std::optional<ClassEntry> lookupProgId(const QString &progId);

} // namespace tx::com::registry
