#include "bridge/Origins.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QUrl>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tx::bridge {
namespace {

constexpr char kAnyPath[] = "any-path";

QString configHome()
{
    const QString xdg = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (!xdg.isEmpty() && QDir::isAbsolutePath(xdg))
        return xdg;
    return QDir::homePath() + QStringLiteral("/.config");
}

} // namespace

QString normalizeOrigin(const QString &text)
{
    const QString t = text.trimmed();
    if (t.isEmpty() || t.contains(QLatin1Char(' ')))
        return {};
    const QUrl url(t, QUrl::StrictMode);
    if (!url.isValid())
        return {};
    const QString scheme = url.scheme().toLower();
    if (scheme != u"http" && scheme != u"https")
        return {};
    const QString host = url.host().toLower();
    if (host.isEmpty() || !url.userInfo().isEmpty() || url.hasQuery() || url.hasFragment())
        return {};
    if (!url.path().isEmpty() && url.path() != u"/")
        return {};
    const int defaultPort = scheme == u"https" ? 443 : 80;
    const int port = url.port(defaultPort);
    const QString shownHost = host.contains(QLatin1Char(':')) ? QLatin1Char('[') + host + QLatin1Char(']') : host;
    QString out = scheme + QStringLiteral("://") + shownHost;
    if (port != defaultPort)
        out += QLatin1Char(':') + QString::number(port);
    return out;
}

bool isSerializedOrigin(const QByteArray &text)
{
    if (text == "null")
        return true;
    const auto alpha = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
    const auto digit = [](char c) { return c >= '0' && c <= '9'; };
    const qsizetype colon = text.indexOf("://");
    if (colon <= 0 || !alpha(text[0]) || text.size() > 1024)
        return false;
    for (char c : text.left(colon))
        if (!alpha(c) && !digit(c) && c != '+' && c != '-' && c != '.')
            return false;
    QByteArray rest = text.mid(colon + 3);
    // The port: digits after the last colon that follows the host.
    const qsizetype portAt = rest.lastIndexOf(':');
    if (portAt >= 0 && portAt > rest.lastIndexOf(']')) {
        const QByteArray port = rest.mid(portAt + 1);
        // A port as a browser writes it: no leading zero, at most 65535.
        if (port.isEmpty() || port.size() > 5 || !std::all_of(port.begin(), port.end(), digit) ||
            (port.size() > 1 && port[0] == '0') || port.toInt() > 65535)
            return false;
        rest.truncate(portAt);
    }
    if (rest.startsWith('[') && rest.endsWith(']') && rest.size() > 2)
        return std::all_of(rest.begin() + 1, rest.end() - 1, [&](char c) {
            return digit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F') || c == ':' || c == '.';
        });
    return !rest.isEmpty() &&
           std::all_of(rest.begin(), rest.end(), [&](char c) { return alpha(c) || digit(c) || c == '.' || c == '-' || c == '_'; });
}

bool isLoopbackOrigin(const QString &normalized)
{
    const QUrl url(normalized);
    QString host = url.host();
    if (host == u"localhost")
        return true;
    const QHostAddress address(host);
    return !address.isNull() && address.isLoopback();
}

OriginList::OriginList(QString path) : file(std::move(path)) {}

QString OriginList::defaultPath() { return configHome() + QStringLiteral("/tessarix/origins"); }

void OriginList::refresh()
{
    struct stat st{};
    if (::stat(QFile::encodeName(file).constData(), &st) != 0) {
        list.clear();
        why.clear();
        stamp = size = inode = -1;
        return;
    }
    const qint64 mtime = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    if (mtime == stamp && qint64(st.st_size) == size && qint64(st.st_ino) == inode)
        return;
    stamp = mtime;
    size = st.st_size;
    inode = st.st_ino;
    list.clear();
    why.clear();
    // A list that someone else could have written says nothing about this user.
    if (st.st_uid != ::getuid()) {
        why = QStringLiteral("%1 belongs to another user; ignored").arg(file);
        return;
    }
    if (st.st_mode & (S_IWGRP | S_IWOTH)) {
        why = QStringLiteral("%1 is writable by others; ignored").arg(file);
        return;
    }
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly)) {
        why = QStringLiteral("%1: %2").arg(file, f.errorString());
        return;
    }
    const QStringList lines = QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'));
    for (const QString &raw : lines) {
        const QString line = raw.trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        const QStringList words = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        const QString origin = normalizeOrigin(words.value(0));
        if (origin.isEmpty())
            continue;
        const bool anyPath = words.size() > 1 && words[1] == QLatin1String(kAnyPath);
        bool replaced = false;
        for (TrustedOrigin &e : list)
            if (e.origin == origin) {
                e.anyPath = anyPath;
                replaced = true;
            }
        if (!replaced)
            list.append({origin, anyPath});
    }
}

const TrustedOrigin *OriginList::find(const QString &normalized)
{
    refresh();
    if (normalized.isEmpty())
        return nullptr;
    for (const TrustedOrigin &e : list)
        if (e.origin == normalized)
            return &e;
    return nullptr;
}

QList<TrustedOrigin> OriginList::entries()
{
    refresh();
    return list;
}

bool OriginList::trust(const TrustedOrigin &entry, QString *error)
{
    refresh();
    if (!why.isEmpty()) {
        *error = why;
        return false;
    }
    bool replaced = false;
    for (TrustedOrigin &e : list)
        if (e.origin == entry.origin) {
            e.anyPath = entry.anyPath;
            replaced = true;
        }
    if (!replaced)
        list.append(entry);
    return save(error);
}

bool OriginList::untrust(const QString &normalized, bool *wasThere, QString *error)
{
    refresh();
    if (!why.isEmpty()) {
        *error = why;
        return false;
    }
    const qsizetype before = list.size();
    list.removeIf([&](const TrustedOrigin &e) { return e.origin == normalized; });
    *wasThere = list.size() != before;
    return !*wasThere || save(error);
}

// Written beside the list and renamed over it, so a reader never sees half a file;
// created 0600 and without following a planted link.
bool OriginList::save(QString *error)
{
    const QString dir = QFileInfo(file).absolutePath();
    if (!QDir().mkpath(dir)) {
        *error = QStringLiteral("cannot create %1").arg(dir);
        return false;
    }
    QByteArray text = "# Origins that may use the Tessarix bridge (tessarix trust / untrust).\n";
    for (const TrustedOrigin &e : list)
        text += e.origin.toUtf8() + (e.anyPath ? QByteArray(" ") + kAnyPath : QByteArray()) + '\n';
    const QByteArray tmp = QFile::encodeName(file + QStringLiteral(".new"));
    ::unlink(tmp.constData());
    const int fd = ::open(tmp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        *error = QStringLiteral("%1: %2").arg(QString::fromLocal8Bit(tmp), QString::fromLocal8Bit(strerror(errno)));
        return false;
    }
    const bool written = ::write(fd, text.constData(), size_t(text.size())) == text.size() && ::fsync(fd) == 0;
    ::close(fd);
    if (!written || ::rename(tmp.constData(), QFile::encodeName(file).constData()) != 0) {
        *error = QStringLiteral("%1: %2").arg(file, QString::fromLocal8Bit(strerror(errno)));
        ::unlink(tmp.constData());
        return false;
    }
    stamp = -1; // read back on the next look
    return true;
}

} // namespace tx::bridge
