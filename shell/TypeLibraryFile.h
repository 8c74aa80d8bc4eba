#pragma once
// The human-readable description of the type library that registration installs
// (Tessarix5.json).
#include <QJsonObject>

namespace tx::shell {

QJsonObject typeLibraryJson();

} // namespace tx::shell
