#pragma once
// One folder's entries as the folder upload walks them: regular files (and links
// to them) and real sub-folders, each in the order the Windows file system lists
// names: compared in upper case unit by unit, equal ones in case-sensitive order.
#include <QList>
#include <QString>
#include <QStringList>

namespace tx {

struct FolderListing {
    struct File {
        QString name;
        qint64 size = 0;
    };
    QList<File> files;
    QStringList folders;
    // Entries listed but not to be looked at (a folder that may be read but not
    // searched): each the file error naming it. The walk counts them as failed.
    QStringList unreadable;

    // Lists `folder` (ending with "/"). FIFOs, sockets, devices, dangling links and
    // links to folders are left out, so nothing blocks and no link makes a loop.
    // A sub-folder (followLink false) that has become a link is refused like a
    // missing one. A folder that cannot be read: the file error naming it.
    static FolderListing read(const QString &folder, bool followLink);

    struct Totals {
        qint64 bytes = 0;
        qint64 files = 0;
    };
    // Sizes and counts of every file below `folder` by the same rules; folders
    // that cannot be read count as empty (the walk reports them).
    static Totals totals(const QString &folder);

    static bool nameLess(const QString &a, const QString &b);
};

} // namespace tx
