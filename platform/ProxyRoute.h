#pragma once
// Which proxy, if any, carries a connection: the environment's variables as curl
// reads them, or else the desktop's own settings.
#include <QByteArray>
#include <QString>

namespace tx {

struct ProxyServer {
    enum class Kind { None, Http, Socks5 };
    Kind kind = Kind::None;
    QString host;
    int port = 0;
    QString user, password;
    // A setting that names a proxy this client cannot use; the connection fails
    // with it rather than going direct behind the user's back.
    QString unusable;

    bool direct() const { return kind == Kind::None && unusable.isEmpty(); }
    // "http://host:port", never with the credentials.
    QString shown() const;
    // "Basic ..." when the proxy URL carried credentials, else empty.
    QByteArray authorization() const;
};

// https_proxy / HTTPS_PROXY for https, http_proxy (lower case only) for http,
// all_proxy / ALL_PROXY after them, no_proxy / NO_PROXY to bypass; the desktop's
// settings when none of these is set. Loopback never goes through a proxy.
ProxyServer proxyFor(bool secure, const QString &host, int port);

// Whether a no_proxy list (hosts, domain suffixes, "*", addresses, CIDR ranges,
// each with an optional ":port") exempts host:port.
bool noProxyMatches(const QString &list, const QString &host, int port);

// A proxy URL as the variables hold it ("[scheme://][user:password@]host[:port]").
ProxyServer parseProxyUrl(const QString &text);

} // namespace tx
