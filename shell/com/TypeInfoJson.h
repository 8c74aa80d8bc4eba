#pragma once
// A class of the type library as JSON, as the type library file and the page
// host's automation API show it.
#include <QJsonObject>

namespace tx::com {

struct ClassInfo;
QJsonObject classJson(const ClassInfo &cls);

} // namespace tx::com
