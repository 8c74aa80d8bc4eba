#pragma once
// The server's root folder: stored files under "files/", files being received under
// ".incoming/", the article database beside them. Every folder is walked with
// openat() without following symbolic links, so nothing escapes the root.
#include <QString>
#include <QStringList>

#include <atomic>
#include <cstddef>
#include <string>

namespace tx::cms {

// A file being received. It lives in ".incoming" and is removed unless it is placed:
// a request cut short never leaves a file that looks whole.
class IncomingFile {
public:
    IncomingFile() = default;
    IncomingFile(int dirFd, std::string name, std::string path, int fd);
    IncomingFile(IncomingFile &&other) noexcept;
    IncomingFile &operator=(IncomingFile &&other) noexcept;
    IncomingFile(const IncomingFile &) = delete;
    IncomingFile &operator=(const IncomingFile &) = delete;
    ~IncomingFile();

    void write(const char *data, std::size_t size);  // throws Refused
    void close();                                    // throws Refused on a failed close
    QString path() const { return QString::fromStdString(path_); }
    long long size() const { return size_; }
    bool valid() const { return dirFd_ >= 0; }

private:
    friend class Storage;
    void discard();

    int dirFd_ = -1;  // borrowed from the Storage
    int fd_ = -1;
    std::string name_;
    std::string path_;
    long long size_ = 0;
};

class Storage {
public:
    // Creates the root and its folders when missing; throws std::runtime_error.
    explicit Storage(const QString &root);
    ~Storage();
    Storage(const Storage &) = delete;
    Storage &operator=(const Storage &) = delete;

    QString root() const { return root_; }
    QString databasePath() const { return root_ + QStringLiteral("/cms.sqlite"); }

    // The folders of a "curPath" or "path" value, normalised ("\" and "/" both
    // separate, "." and empty parts dropped). Throws Refused on "..", control
    // characters or over-long names.
    static QStringList folderOf(const QString &value);
    // The bare name of a filename parameter: the text after its last "\" or "/".
    // Throws Refused when nothing usable is left.
    static QString bareName(const QString &fileName);
    // The "/files/..." address of a stored file, escaped for use in an unquoted
    // HTML attribute; characters the legacy code page cannot hold are %-escaped.
    static QString address(const QString &relativePath);

    IncomingFile receive();  // throws Refused
    // Moves the file under files/<folder>/ as name, or name(1), name(2)... when the
    // name is taken; never overwrites. Returns the path relative to files/.
    QString place(IncomingFile &file, const QStringList &folder, const QString &name);
    // A stored regular file opened for reading (relative path in UTF-8 as
    // requested), or -1.
    int openStored(const std::string &relativePath) const;

private:
    int openFolder(const QStringList &folder) const;  // creating it; throws Refused

    QString root_;
    int filesFd_ = -1;
    int incomingFd_ = -1;
    std::string incomingPath_;
    mutable std::atomic<unsigned> counter_{0};
};

} // namespace tx::cms
