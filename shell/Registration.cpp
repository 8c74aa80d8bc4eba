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

const QString kProgId = QStringLiteral("ProgID");
const QString kClsid = QStringLiteral("CLSID");
const QString kInterface = QStringLiteral("Interface");
const QString kTypeLib = QStringLiteral("TypeLib");

QString version()
{
    const TypeLibrary &lib = typeLibrary();
    return QStringLiteral("%1.%2").arg(lib.majorVersion).arg(lib.minorVersion);
}

// Edits one section of the registry in place.
template <typename F> void editSection(QJsonObject &root, const QString &name, F f)
{
    QJsonObject section = root.value(name).toObject();
    f(section);
    root.insert(name, section);
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
    if (!writeTypeLibraryFile())
        return SELFREG_E_TYPELIB;
    const TypeLibrary &lib = typeLibrary();
    const QString libid = lib.libid.toString();
    QJsonObject root = registry::load();
    for (const ClassInfo &c : lib.classes) {
        const QString clsid = c.clsid.toString();
        editSection(root, kProgId, [&](QJsonObject &s) {
            s.insert(c.progId(), QJsonObject{{kClsid, clsid}, {QStringLiteral("name"), QLatin1String(c.name)}});
        });
        editSection(root, kClsid, [&](QJsonObject &s) {
            s.insert(clsid, QJsonObject{{QStringLiteral("name"), QLatin1String(c.name)},
                                        {kProgId, c.progId()},
                                        {QStringLiteral("InprocServer32"), libraryPath},
                                        {QStringLiteral("ThreadingModel"), QStringLiteral("Apartment")},
                                        {kTypeLib, libid},
                                        {QStringLiteral("Version"), version()},
                                        {QStringLiteral("Control"), c.visible}});
        });
        editSection(root, kInterface, [&](QJsonObject &s) {
            s.insert(c.iid.toString(), QJsonObject{{QStringLiteral("name"), c.interfaceName()}, {kTypeLib, libid}});
            if (!c.eventIid.isNull())
                s.insert(c.eventIid.toString(),
                         QJsonObject{{QStringLiteral("name"), c.eventInterfaceName()}, {kTypeLib, libid}});
        });
    }
    editSection(root, kTypeLib, [&](QJsonObject &s) {
        s.insert(libid, QJsonObject{{QStringLiteral("name"), lib.name},
                                    {QStringLiteral("description"), lib.description},
                                    {QStringLiteral("Version"), version()},
                                    {QStringLiteral("path"), typeLibraryPath()},
                                    {QStringLiteral("library"), libraryPath}});
    });
    return registry::save(root) ? S_OK : SELFREG_E_CLASS;
}

HRESULT unregisterServer()
{
    const TypeLibrary &lib = typeLibrary();
    QJsonObject root = registry::load();
    for (const ClassInfo &c : lib.classes) {
        editSection(root, kProgId, [&](QJsonObject &s) {
            // Leave a ProgID alone that now points at another server.
            for (const QString &key : s.keys())
                if (key.compare(c.progId(), Qt::CaseInsensitive) == 0 &&
                    s.value(key).toObject().value(kClsid).toString() == c.clsid.toString())
                    s.remove(key);
        });
        editSection(root, kClsid, [&](QJsonObject &s) { s.remove(c.clsid.toString()); });
        editSection(root, kInterface, [&](QJsonObject &s) {
            s.remove(c.iid.toString());
            s.remove(c.eventIid.toString());
        });
    }
    editSection(root, kTypeLib, [&](QJsonObject &s) { s.remove(lib.libid.toString()); });
    for (const QString &section : {kProgId, kClsid, kInterface, kTypeLib})
        if (root.value(section).toObject().isEmpty())
            root.remove(section);
    const bool typeLibGone = !QFile::exists(typeLibraryPath()) || QFile::remove(typeLibraryPath());
    if (!registry::save(root))
        return SELFREG_E_CLASS;
    return typeLibGone ? S_OK : SELFREG_E_TYPELIB;
}

} // namespace tx::shell
