#pragma once
// The local paths a session may name in arguments: those it got from the native
// chooser or from a control's own answer. A page (or a script injected into it)
// cannot reach any other file of the user.
#include <QStringList>

namespace tx::bridge {

class PathGrants {
public:
    // A chosen file, or a chosen folder and everything under it.
    void grant(const QString &path);
    void grantAll(const QStringList &paths) { for (const QString &p : paths) grant(p); }
    bool allows(const QString &path) const;

private:
    QStringList granted; // clean absolute paths
};

// The clean absolute form of a path, or empty for a relative one.
QString cleanLocalPath(const QString &path);

} // namespace tx::bridge
