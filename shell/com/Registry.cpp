#include "shell/com/Registry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QSaveFile>

namespace tx::com::registry {
namespace {

const QString kProgId = QStringLiteral("ProgID");
const QString kClsid = QStringLiteral("CLSID");
const QString kInterface = QStringLiteral("Interface");
const QString kTypeLib = QStringLiteral("TypeLib");
const QString kName = QStringLiteral("name");
const QString kVersion = QStringLiteral("Version");

struct Read {
    QJsonObject root;
    QString damage;
};

Read read()
{
    const QFileInfo info(filePath());
    if (!info.exists())
        return {};
    if (info.isDir())
        return {{}, QStringLiteral("it is a folder")};
    QFile f(info.filePath());
    if (!f.open(QIODevice::ReadOnly))
        return {{}, f.errorString()};
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(f.readAll(), &error);
    if (error.error != QJsonParseError::NoError)
        return {{}, QStringLiteral("not valid JSON (%1 at offset %2)").arg(error.errorString()).arg(error.offset)};
    if (!doc.isObject())
        return {{}, QStringLiteral("not a JSON object")};
    const QJsonObject root = doc.object();
    for (const QString &section : {kProgId, kClsid, kInterface, kTypeLib})
        if (root.contains(section) && !root.value(section).isObject())
            return {{}, QStringLiteral("its %1 section is not an object").arg(section)};
    return {root, {}};
}

// Edits one section of the registry in place; an emptied section goes.
template <typename F> void editSection(QJsonObject &root, const QString &name, F f)
{
    QJsonObject section = root.value(name).toObject();
    f(section);
    if (section.isEmpty())
        root.remove(name);
    else
        root.insert(name, section);
}

Change write(const QJsonObject &root) { return save(root) ? Change::Done : Change::NotWritten; }

} // namespace

QString folder()
{
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + QStringLiteral("/.config");
    return base + QStringLiteral("/tessarix");
}

QString filePath() { return folder() + QStringLiteral("/registry.json"); }

QString damage() { return read().damage; }

QJsonObject load() { return read().root; }

bool save(const QJsonObject &root)
{
    bool empty = true;
    for (auto it = root.begin(); it != root.end(); ++it)
        empty = empty && it.value().isObject() && it.value().toObject().isEmpty();
    if (empty)
        return !QFile::exists(filePath()) || QFile::remove(filePath());
    if (!QDir().mkpath(folder()))
        return false;
    QSaveFile f(filePath());
    if (!f.open(QIODevice::WriteOnly))
        return false;
    f.write(QJsonDocument(root).toJson(QJsonDocument::Indented));
    return f.commit();
}

Change add(const ServerRecord &server)
{
    Read r = read();
    if (!r.damage.isEmpty())
        return Change::Unreadable;
    QJsonObject &root = r.root;
    const QString libid = server.libid.toString();
    for (const ClassRecord &c : server.classes) {
        const QString clsid = c.clsid.toString();
        editSection(root, kProgId, [&](QJsonObject &s) {
            s.insert(c.progId, QJsonObject{{kClsid, clsid}, {kName, c.name}});
        });
        editSection(root, kClsid, [&](QJsonObject &s) {
            s.insert(clsid, QJsonObject{{kName, c.name},
                                        {kProgId, c.progId},
                                        {QStringLiteral("InprocServer32"), server.library},
                                        {QStringLiteral("ThreadingModel"), QStringLiteral("Apartment")},
                                        {kTypeLib, libid},
                                        {kVersion, server.version},
                                        {QStringLiteral("Control"), c.control}});
        });
        editSection(root, kInterface, [&](QJsonObject &s) {
            for (const InterfaceRecord &i : c.interfaces)
                s.insert(i.iid.toString(), QJsonObject{{kName, i.name}, {kTypeLib, libid}});
        });
    }
    editSection(root, kTypeLib, [&](QJsonObject &s) {
        s.insert(libid, QJsonObject{{kName, server.name},
                                    {QStringLiteral("description"), server.description},
                                    {kVersion, server.version},
                                    {QStringLiteral("path"), server.typeLibraryFile},
                                    {QStringLiteral("library"), server.library}});
    });
    return write(root);
}

Change remove(const ServerRecord &server)
{
    Read r = read();
    if (!r.damage.isEmpty())
        return Change::Unreadable;
    QJsonObject &root = r.root;
    for (const ClassRecord &c : server.classes) {
        editSection(root, kProgId, [&](QJsonObject &s) {
            for (const QString &key : s.keys())
                if (key.compare(c.progId, Qt::CaseInsensitive) == 0 &&
                    s.value(key).toObject().value(kClsid).toString() == c.clsid.toString())
                    s.remove(key);
        });
        editSection(root, kClsid, [&](QJsonObject &s) { s.remove(c.clsid.toString()); });
        editSection(root, kInterface, [&](QJsonObject &s) {
            for (const InterfaceRecord &i : c.interfaces)
                s.remove(i.iid.toString());
        });
    }
    editSection(root, kTypeLib, [&](QJsonObject &s) { s.remove(server.libid.toString()); });
    return write(root);
}

std::optional<ClassEntry> lookupProgId(const QString &progId)
{
    const QJsonObject root = load();
    const QJsonObject progIds = root.value(kProgId).toObject();
    for (auto it = progIds.begin(); it != progIds.end(); ++it) {
        if (it.key().compare(progId, Qt::CaseInsensitive) != 0)
            continue;
        const auto clsid = Guid::fromString(it.value().toObject().value(kClsid).toString());
        if (!clsid)
            return std::nullopt;
        const QJsonObject cls = root.value(kClsid).toObject().value(clsid->toString()).toObject();
        const QString library = cls.value(QStringLiteral("InprocServer32")).toString();
        if (library.isEmpty())
            return std::nullopt;
        return ClassEntry{*clsid, library};
    }
    return std::nullopt;
}

QString libraryOf(const Guid &libid)
{
    return load().value(kTypeLib).toObject().value(libid.toString()).toObject().value(QStringLiteral("library")).toString();
}

} // namespace tx::com::registry
