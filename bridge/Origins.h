#pragma once
// The user's allow-list of page origins that may open a session: one origin a
// line in $XDG_CONFIG_HOME/tessarix/origins (mode 0600), optionally followed by
// the word "any-path" when that origin's sessions may name any local path.
#include <QList>
#include <QString>

namespace tx::bridge {

// "scheme://host[:port]" with the scheme and host in lower case and the scheme's
// default port dropped; empty for anything that is not an http(s) origin (a
// path, a query, user info, "null").
QString normalizeOrigin(const QString &text);
// The Origin header as a browser writes it: scheme "://" host, an optional
// ":" port, and nothing else (no path, no space, no control character), or
// "null". Anything else is no browser's and is never echoed back.
bool isSerializedOrigin(const QByteArray &text);
// An origin whose host is the loopback address or "localhost".
bool isLoopbackOrigin(const QString &normalized);

struct TrustedOrigin {
    QString origin;
    bool anyPath = false;
};

class OriginList {
public:
    // The list at `path` (default: the user's file).
    explicit OriginList(QString path = defaultPath());

    static QString defaultPath();
    const QString &path() const { return file; }

    // Re-reads the file when it changed since the last look (cheap to call often).
    void refresh();
    // nullptr when the origin is not trusted.
    const TrustedOrigin *find(const QString &normalized);
    QList<TrustedOrigin> entries();

    // Adds or replaces / removes an entry and writes the file (0600). False and
    // `error` when the file cannot be written.
    bool trust(const TrustedOrigin &entry, QString *error);
    bool untrust(const QString &normalized, bool *wasThere, QString *error);

    // Why the file was ignored (another owner, writable by others), or empty.
    const QString &problem() const { return why; }

private:
    bool save(QString *error);

    QString file;
    QList<TrustedOrigin> list;
    QString why;
    qint64 stamp = -1; // mtime in ns, size and inode folded together
    qint64 size = -1;
    qint64 inode = -1;
};

} // namespace tx::bridge
