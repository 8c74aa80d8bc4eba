#include "cms/Storage.h"

#include "cms/Refused.h"
#include "core/CodePage.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace tx::cms {
namespace {

constexpr int kMaxFolderDepth = 32;
constexpr int kMaxNameBytes = 255;
constexpr int kMaxNameTries = 10000;

bool hasControl(const QString &s)
{
    for (QChar c : s)
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            return true;
    return false;
}

std::string osName(const QString &name)
{
    return name.toUtf8().toStdString();
}

int openDir(int at, const char *name)
{
    return ::openat(at, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

void closeFd(int &fd)
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

// name(k) keeps the extension: "a.jpg" -> "a(1).jpg"; a leading dot is no extension.
QString numbered(const QString &name, int k)
{
    if (k == 0)
        return name;
    const qsizetype dot = name.lastIndexOf(u'.');
    const QString stem = dot > 0 ? name.left(dot) : name;
    const QString ext = dot > 0 ? name.mid(dot) : QString();
    return stem + QStringLiteral("(%1)").arg(k) + ext;
}

} // namespace

IncomingFile::IncomingFile(int dirFd, std::string name, std::string path, int fd)
    : dirFd_(dirFd), fd_(fd), name_(std::move(name)), path_(std::move(path))
{
}

IncomingFile::IncomingFile(IncomingFile &&other) noexcept
{
    *this = std::move(other);
}

IncomingFile &IncomingFile::operator=(IncomingFile &&other) noexcept
{
    if (this != &other) {
        discard();
        dirFd_ = std::exchange(other.dirFd_, -1);
        fd_ = std::exchange(other.fd_, -1);
        name_ = std::move(other.name_);
        path_ = std::move(other.path_);
        size_ = other.size_;
    }
    return *this;
}

IncomingFile::~IncomingFile()
{
    discard();
}

void IncomingFile::write(const char *data, std::size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd_, data, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw Refused(std::string("cannot write the file: ") + std::strerror(errno));
        }
        data += n;
        size -= static_cast<std::size_t>(n);
        size_ += n;
    }
}

void IncomingFile::close()
{
    if (fd_ >= 0 && ::close(std::exchange(fd_, -1)) != 0)
        throw Refused(std::string("cannot write the file: ") + std::strerror(errno));
}

void IncomingFile::discard()
{
    closeFd(fd_);
    if (dirFd_ >= 0)
        ::unlinkat(dirFd_, name_.c_str(), 0);
    dirFd_ = -1;
}

Storage::Storage(const QString &root)
    : root_(QFileInfo(root).absoluteFilePath())
{
    const QDir dir(root_);
    if (!dir.mkpath(QStringLiteral("files")) || !dir.mkpath(QStringLiteral(".incoming")))
        throw std::runtime_error("cannot create the folders under " + root_.toStdString());
    filesFd_ = ::open(osName(root_ + QStringLiteral("/files")).c_str(),
                      O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    incomingPath_ = osName(root_ + QStringLiteral("/.incoming"));
    incomingFd_ = ::open(incomingPath_.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (filesFd_ < 0 || incomingFd_ < 0)
        throw std::runtime_error("cannot open the folders under " + root_.toStdString());
    // Left over by a server that was killed mid-request: never whole, never placed.
    QDir incoming(root_ + QStringLiteral("/.incoming"));
    for (const QString &name : incoming.entryList(QDir::Files | QDir::Hidden | QDir::System))
        incoming.remove(name);
}

Storage::~Storage()
{
    closeFd(filesFd_);
    closeFd(incomingFd_);
}

QStringList Storage::folderOf(const QString &value)
{
    QStringList folder;
    for (const QString &part : QString(value).replace(u'\\', u'/').split(u'/')) {
        if (part.isEmpty() || part == u".")
            continue;
        if (part == u"..")
            throw Refused("the folder leaves the root");
        if (hasControl(part))
            throw Refused("the folder holds a control character");
        if (part.toUtf8().size() > kMaxNameBytes)
            throw Refused("a folder name is too long");
        folder << part;
    }
    if (folder.size() > kMaxFolderDepth)
        throw Refused("the folder is too deep");
    return folder;
}

QString Storage::bareName(const QString &fileName)
{
    const qsizetype cut = std::max(fileName.lastIndexOf(u'\\'), fileName.lastIndexOf(u'/'));
    const QString name = fileName.mid(cut + 1);
    if (name.isEmpty() || name == u"." || name == u"..")
        throw Refused("no usable file name");
    if (hasControl(name))
        throw Refused("the file name holds a control character");
    if (name.toUtf8().size() > kMaxNameBytes - 8)  // room for "(n)"
        throw Refused("the file name is too long");
    return name;
}

QString Storage::address(const QString &relativePath)
{
    static const QString unsafe = QStringLiteral(" \"#%&'<>?`=\\^{|}");
    QString out = QStringLiteral("/files/");
    for (char32_t cp : relativePath.toUcs4()) {
        const QString c = QString::fromUcs4(&cp, 1);
        const bool plain = cp > 0x20 && cp < 0x7F && !unsafe.contains(c);
        const bool legacy = cp >= 0x80 && codepage::decode(codepage::encode(c)) == c;
        if (plain || legacy) {
            out += c;
            continue;
        }
        for (unsigned char b : c.toUtf8())
            out += QStringLiteral("%%1").arg(b, 2, 16, QLatin1Char('0')).toUpper();
    }
    return out;
}

IncomingFile Storage::receive()
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        char name[64];
        std::snprintf(name, sizeof name, "part-%ld-%u", static_cast<long>(::getpid()), counter_++);
        const int fd = ::openat(incomingFd_, name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd >= 0)
            return IncomingFile(incomingFd_, name, incomingPath_ + "/" + name, fd);
        if (errno != EEXIST)
            throw Refused(std::string("cannot create a file: ") + std::strerror(errno));
    }
    throw Refused("cannot create a file");
}

int Storage::openFolder(const QStringList &folder) const
{
    int fd = openDir(filesFd_, ".");
    for (const QString &part : folder) {
        const std::string name = osName(part);
        if (::mkdirat(fd, name.c_str(), 0755) != 0 && errno != EEXIST) {
            const int err = errno;
            closeFd(fd);
            throw Refused(std::string("cannot create the folder: ") + std::strerror(err));
        }
        const int next = openDir(fd, name.c_str());
        closeFd(fd);
        if (next < 0)
            throw Refused("the folder cannot be used: " + name);
        fd = next;
    }
    if (fd < 0)
        throw Refused("cannot open the files folder");
    return fd;
}

QString Storage::place(IncomingFile &file, const QStringList &folder, const QString &name)
{
    file.close();
    int dirFd = openFolder(folder);
    for (int k = 0; k < kMaxNameTries; ++k) {
        const QString candidate = numbered(name, k);
        const std::string target = osName(candidate);
        int rc = ::renameat2(incomingFd_, file.name_.c_str(), dirFd, target.c_str(), RENAME_NOREPLACE);
        if (rc != 0 && (errno == EINVAL || errno == ENOSYS)) {
            // A file system without RENAME_NOREPLACE: a hard link fails on a taken name too.
            rc = ::linkat(incomingFd_, file.name_.c_str(), dirFd, target.c_str(), 0);
            if (rc == 0)
                ::unlinkat(incomingFd_, file.name_.c_str(), 0);
        }
        if (rc == 0) {
            closeFd(dirFd);
            file.dirFd_ = -1;  // placed: nothing left to discard
            QStringList parts = folder;
            parts << candidate;
            return parts.join(u'/');
        }
        if (errno != EEXIST) {
            const int err = errno;
            closeFd(dirFd);
            throw Refused(std::string("cannot store the file: ") + std::strerror(err));
        }
    }
    closeFd(dirFd);
    throw Refused("no free name for the file");
}

int Storage::openStored(const std::string &relativePath) const
{
    int fd = openDir(filesFd_, ".");
    std::size_t start = 0;
    while (fd >= 0) {
        std::size_t slash = relativePath.find('/', start);
        const bool last = slash == std::string::npos;
        const std::string part = relativePath.substr(start, last ? std::string::npos : slash - start);
        start = last ? relativePath.size() : slash + 1;
        if (part.empty() || part == ".") {
            if (last)
                break;
            continue;
        }
        if (part == "..")
            break;
        if (last) {
            const int file = ::openat(fd, part.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
            closeFd(fd);
            struct stat st {};
            if (file >= 0 && ::fstat(file, &st) == 0 && S_ISREG(st.st_mode))
                return file;
            if (file >= 0)
                ::close(file);
            return -1;
        }
        const int next = openDir(fd, part.c_str());
        closeFd(fd);
        fd = next;
    }
    closeFd(fd);
    return -1;
}

} // namespace tx::cms
