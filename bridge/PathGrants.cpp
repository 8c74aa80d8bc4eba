#include "bridge/PathGrants.h"

#include <QDir>
#include <QFileInfo>

namespace tx::bridge {

QString cleanLocalPath(const QString &path)
{
    QString p = path;
    if (!QDir::isAbsolutePath(p))
        return {};
    p = QDir::cleanPath(p);
    // A link inside a granted folder may point anywhere; judge where it leads.
    const QString canonical = QFileInfo(p).canonicalFilePath();
    return canonical.isEmpty() ? p : canonical;
}

void PathGrants::grant(const QString &path)
{
    const QString p = cleanLocalPath(path);
    if (!p.isEmpty() && !granted.contains(p))
        granted.append(p);
}

bool PathGrants::allows(const QString &path) const
{
    const auto within = [this](const QString &p) {
        if (p.isEmpty())
            return false;
        for (const QString &g : granted)
            if (p == g || p.startsWith(g == u"/" ? g : g + QLatin1Char('/')))
                return true;
        return false;
    };
    // Arguments may spell the separator as the controls' textual "\"; the path
    // must stay inside whether or not a reader takes it for one.
    QString slashed = path;
    slashed.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return within(cleanLocalPath(path)) && within(cleanLocalPath(slashed));
}

} // namespace tx::bridge
