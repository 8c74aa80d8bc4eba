#include "multiupload/FolderListing.h"

#include "core/AutomationError.h"
#include "util/UserFiles.h"

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tx {

bool FolderListing::nameLess(const QString &a, const QString &b)
{
    const qsizetype n = std::min(a.size(), b.size());
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t x = a[i].toUpper().unicode();
        const char16_t y = b[i].toUpper().unicode();
        if (x != y)
            return x < y;
    }
    if (a.size() != b.size())
        return a.size() < b.size();
    return a < b;
}

FolderListing FolderListing::read(const QString &folder, bool followLink)
{
    const int flags = O_RDONLY | O_DIRECTORY | (followLink ? 0 : O_NOFOLLOW);
    QString why;
    const int fd = userfiles::open(folder, flags, &why);
    if (fd < 0)
        throw userfiles::openError(errno == ELOOP ? ENOENT : errno, folder, why);
    DIR *dir = ::fdopendir(fd);
    if (!dir) {
        const int err = errno;
        ::close(fd);
        throw fileError(err, userfiles::shown(folder));
    }
    FolderListing out;
    errno = 0;
    while (const dirent *e = ::readdir(dir)) {
        const char *name = e->d_name;
        if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)))
            continue;
        struct stat st {};
        if (::fstatat(fd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno != ENOENT) // else gone since it was listed
                out.unreadable.append(fileError(errno, userfiles::shown(folder + userfiles::fromNative(name))).description);
            errno = 0;
            continue;
        }
        if (S_ISDIR(st.st_mode)) {
            out.folders.append(userfiles::fromNative(name));
        } else if (S_ISLNK(st.st_mode)) {
            // A link counts as the file it points to; links to folders are not
            // followed.
            if (::fstatat(fd, name, &st, 0) == 0 && S_ISREG(st.st_mode))
                out.files.append(File{userfiles::fromNative(name), qint64(st.st_size)});
        } else if (S_ISREG(st.st_mode)) {
            out.files.append(File{userfiles::fromNative(name), qint64(st.st_size)});
        }
        errno = 0;
    }
    const int err = errno;
    ::closedir(dir);
    if (err != 0)
        throw fileError(err, userfiles::shown(folder));
    std::sort(out.files.begin(), out.files.end(),
              [](const File &a, const File &b) { return nameLess(a.name, b.name); });
    std::sort(out.folders.begin(), out.folders.end(), nameLess);
    return out;
}

FolderListing::Totals FolderListing::totals(const QString &folder)
{
    Totals t;
    QStringList pending{folder};
    bool root = true;
    while (!pending.isEmpty()) {
        const QString current = pending.takeLast();
        FolderListing listing;
        try {
            listing = read(current, root);
        } catch (const AutomationError &) {
            root = false;
            continue;
        }
        root = false;
        for (const File &f : listing.files) {
            t.bytes += f.size;
            ++t.files;
        }
        for (const QString &sub : listing.folders)
            pending.append(current + sub + QLatin1Char('/'));
    }
    return t;
}

} // namespace tx
