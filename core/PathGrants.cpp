#include "core/PathGrants.h"

#include <QDir>
#include <QFileInfo>

namespace tx {

namespace {
PathGrants *g_installed = nullptr;
}

void PathGrants::install(PathGrants *grants) { g_installed = grants; }
PathGrants *PathGrants::installed() { return g_installed; }

QString cleanLocalPath(const QString &path)
{
    if (!QDir::isAbsolutePath(path))
        return {};
    // Resolved as the kernel will open it, never tidied by text first: ".." after
    // a link leaves where the link leads, not the folder that holds the link. A
    // path not there yet is judged by the deepest folder that is.
    QString head = path;
    QStringList tail;
    for (;;) {
        const QString real = QFileInfo(head).canonicalFilePath();
        if (!real.isEmpty())
            return tail.isEmpty() ? real : (real == u"/" ? real : real + QLatin1Char('/')) + tail.join(QLatin1Char('/'));
        const qsizetype slash = head.lastIndexOf(QLatin1Char('/'));
        const QString name = head.mid(slash + 1);
        if (name == u"." || name == u"..")
            return {};
        if (!name.isEmpty())
            tail.prepend(name);
        if (slash <= 0)
            head = QStringLiteral("/");
        else
            head.truncate(slash);
    }
}

void PathGrants::grant(const QString &path)
{
    const QString p = cleanLocalPath(path);
    if (!p.isEmpty() && !granted.contains(p))
        granted.append(p);
}

bool PathGrants::allows(const QString &path) const
{
    // The kernel would stop at a NUL and open another file than the text names.
    if (path.contains(QChar(0)))
        return false;
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

} // namespace tx
