#include "shell/Registration.h"

#include "shell/Catalogue.h"
#include "shell/TypeLibraryFile.h"
#include "shell/com/Registry.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QSaveFile>

namespace tx::shell {
namespace {

using namespace tx::com;

registry::ServerRecord serverRecord(const QString &libraryPath)
{
    const TypeLibrary &lib = typeLibrary();
    registry::ServerRecord server{lib.libid,
                                  lib.name,
                                  lib.description,
                                  QStringLiteral("%1.%2").arg(lib.majorVersion).arg(lib.minorVersion),
                                  typeLibraryPath(),
                                  libraryPath,
                                  {}};
    for (const ClassInfo &c : lib.classes) {
        registry::ClassRecord record{QLatin1String(c.name), c.progId(), c.clsid, c.visible, {{c.iid, c.interfaceName()}}};
        if (!c.eventIid.isNull())
            record.interfaces.push_back({c.eventIid, c.eventInterfaceName()});
        server.classes.push_back(std::move(record));
    }
    return server;
}

bool writeTypeLibraryFile()
{
    if (!QDir().mkpath(registry::folder()))
        return false;
    QSaveFile f(typeLibraryPath());
    if (!f.open(QIODevice::WriteOnly))
        return false;
    f.write(QJsonDocument(typeLibraryJson()).toJson(QJsonDocument::Indented));
    return f.commit();
}

} // namespace

QString typeLibraryPath() { return registry::folder() + QStringLiteral("/Tessarix5.json"); }

HRESULT registerServer(const QString &libraryPath)
{
    if (libraryPath.isEmpty())
        return SELFREG_E_CLASS;
    // A registry that cannot be read holds other servers' entries: touch nothing.
    if (!registry::damage().isEmpty())
        return SELFREG_E_CLASS;
    if (!writeTypeLibraryFile())
        return SELFREG_E_TYPELIB;
    return registry::add(serverRecord(libraryPath)) == registry::Change::Done ? S_OK : SELFREG_E_CLASS;
}

HRESULT unregisterServer()
{
    if (registry::remove(serverRecord(QString())) != registry::Change::Done)
        return SELFREG_E_CLASS;
    const bool typeLibGone = !QFile::exists(typeLibraryPath()) || QFile::remove(typeLibraryPath());
    return typeLibGone ? S_OK : SELFREG_E_TYPELIB;
}

} // namespace tx::shell
