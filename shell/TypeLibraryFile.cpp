#include "shell/TypeLibraryFile.h"

#include "shell/Catalogue.h"
#include "shell/com/TypeInfoJson.h"

#include <QJsonArray>

namespace tx::shell {

using namespace tx::com;

QJsonObject typeLibraryJson()
{
    const TypeLibrary &lib = typeLibrary();
    QJsonArray classes;
    for (const ClassInfo &c : lib.classes)
        classes.append(classJson(c));
    QJsonArray privates;
    for (const QString &name : lib.privateClasses)
        privates.append(QJsonObject{{QStringLiteral("name"), name}, {QStringLiteral("creatable"), false}});
    return QJsonObject{{QStringLiteral("name"), lib.name},
                       {QStringLiteral("description"), lib.description},
                       {QStringLiteral("libid"), lib.libid.toString()},
                       {QStringLiteral("version"),
                        QStringLiteral("%1.%2").arg(lib.majorVersion).arg(lib.minorVersion)},
                       {QStringLiteral("classes"), classes},
                       {QStringLiteral("privateClasses"), privates}};
}

} // namespace tx::shell
