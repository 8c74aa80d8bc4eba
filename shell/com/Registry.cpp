#include "shell/com/Registry.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QSaveFile>

namespace tx::com::registry {

QString folder()
{
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + QStringLiteral("/.config");
    return base + QStringLiteral("/tessarix");
}

QString filePath() { return folder() + QStringLiteral("/registry.json"); }

QJsonObject load()
{
    QFile f(filePath());
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(f.readAll()).object();
}

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

std::optional<ClassEntry> lookupProgId(const QString &progId)
{
    const QJsonObject root = load();
    const QJsonObject progIds = root.value(QStringLiteral("ProgID")).toObject();
    for (auto it = progIds.begin(); it != progIds.end(); ++it) {
        if (it.key().compare(progId, Qt::CaseInsensitive) != 0)
            continue;
        const QString clsidText = it.value().toObject().value(QStringLiteral("CLSID")).toString();
        const auto clsid = Guid::fromString(clsidText);
        if (!clsid)
            return std::nullopt;
        const QJsonObject cls = root.value(QStringLiteral("CLSID")).toObject().value(clsid->toString()).toObject();
        const QString library = cls.value(QStringLiteral("InprocServer32")).toString();
        if (library.isEmpty())
            return std::nullopt;
        return ClassEntry{*clsid, library};
    }
    return std::nullopt;
}

} // namespace tx::com::registry
