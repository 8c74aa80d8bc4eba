#pragma once
// The local paths a session of the browser bridge may name and read: those it
// got from a native chooser or from a control's own answer. A page (or a script
// injected into it) cannot reach any other file of the user. The bridge's worker
// installs its grants for the whole process, so that every read of a user's file
// (util/UserFiles) is held to them when it is opened; without installed grants
// (the page host) every path may be read.
#include <QStringList>

namespace tx {

class PathGrants {
public:
    // A chosen file, or a chosen folder and everything under it.
    void grant(const QString &path);
    void grantAll(const QStringList &paths) { for (const QString &p : paths) grant(p); }
    // The rule on the text of a path, before it is used.
    bool allows(const QString &path) const;
    // Clean absolute paths, without symbolic links when they were granted.
    const QStringList &roots() const { return granted; }

    // The grants of this process, or none (nullptr). Not owned.
    static void install(PathGrants *grants);
    static PathGrants *installed();

private:
    QStringList granted;
};

// The clean absolute form of a path, or empty for a relative one.
QString cleanLocalPath(const QString &path);

} // namespace tx
