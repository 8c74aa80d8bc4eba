#include "platform/ProxyRoute.h"

#include <QHostAddress>
#include <QNetworkProxyFactory>
#include <QStringList>
#include <QUrl>

namespace tx {
namespace {

QString env(const char *name)
{
    return qEnvironmentVariable(name).trimmed();
}

// The first of the two spellings that holds something.
QString env(const char *lower, const char *upper)
{
    const QString v = env(lower);
    return v.isEmpty() ? env(upper) : v;
}

QString bare(QString host)
{
    if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']')))
        host = host.mid(1, host.size() - 2);
    return host.toLower();
}

bool loopback(const QString &host)
{
    const QString h = bare(host);
    if (h == QLatin1String("localhost") || h.endsWith(QLatin1String(".localhost")))
        return true;
    const QHostAddress a(h);
    return !a.isNull() && a.isLoopback();
}

bool entryMatches(QString entry, const QString &host, int port)
{
    // An optional ":port": after "]" for a bracketed address, else after a single colon.
    int entryPort = -1;
    if (entry.startsWith(QLatin1Char('['))) {
        const qsizetype close = entry.indexOf(QLatin1Char(']'));
        if (close < 0)
            return false;
        const QString rest = entry.mid(close + 1);
        if (rest.startsWith(QLatin1Char(':')))
            entryPort = rest.mid(1).toInt();
        entry = entry.mid(1, close - 1);
    } else if (entry.count(QLatin1Char(':')) == 1) {
        const qsizetype colon = entry.indexOf(QLatin1Char(':'));
        bool ok = false;
        entryPort = entry.mid(colon + 1).toInt(&ok);
        if (!ok)
            return false;
        entry.truncate(colon);
    }
    if (entryPort >= 0 && entryPort != port)
        return false;
    const QHostAddress address(host);
    if (entry.contains(QLatin1Char('/'))) {
        const auto subnet = QHostAddress::parseSubnet(entry);
        return !address.isNull() && subnet.first.protocol() != QAbstractSocket::UnknownNetworkLayerProtocol
            && address.isInSubnet(subnet);
    }
    const QHostAddress entryAddress(entry);
    if (!entryAddress.isNull())
        return !address.isNull() && address.isEqual(entryAddress);
    if (entry.startsWith(QLatin1String("*.")))
        entry.remove(0, 1);
    if (entry.startsWith(QLatin1Char('.')))
        entry.remove(0, 1);
    return !entry.isEmpty() && (host == entry || host.endsWith(QLatin1Char('.') + entry));
}

ProxyServer fromSystem(bool secure, const QString &host, int port)
{
    QUrl target;
    target.setScheme(secure ? QStringLiteral("https") : QStringLiteral("http"));
    target.setHost(bare(host));
    target.setPort(port);
    const QList<QNetworkProxy> answers = QNetworkProxyFactory::systemProxyForQuery(QNetworkProxyQuery(target));
    ProxyServer out;
    if (answers.isEmpty())
        return out;
    const QNetworkProxy &p = answers.first();
    switch (p.type()) {
    case QNetworkProxy::HttpProxy:
    case QNetworkProxy::HttpCachingProxy:
        out.kind = ProxyServer::Kind::Http;
        break;
    case QNetworkProxy::Socks5Proxy:
        out.kind = ProxyServer::Kind::Socks5;
        break;
    default:
        return out;
    }
    out.host = p.hostName();
    out.port = p.port();
    out.user = p.user();
    out.password = p.password();
    // Qt's own reading of the environment takes HTTP_PROXY too, which a CGI
    // environment sets from a request header: that one is not the desktop's.
    const QString upper = env("HTTP_PROXY");
    if (!upper.isEmpty()) {
        const ProxyServer named = parseProxyUrl(upper);
        if (named.host.compare(out.host, Qt::CaseInsensitive) == 0 && named.port == out.port)
            return ProxyServer();
    }
    return out;
}

} // namespace

QString ProxyServer::shown() const
{
    const QString scheme = kind == Kind::Socks5 ? QStringLiteral("socks5") : QStringLiteral("http");
    const QString h = host.contains(QLatin1Char(':')) ? QLatin1Char('[') + host + QLatin1Char(']') : host;
    return QStringLiteral("%1://%2:%3").arg(scheme, h).arg(port);
}

QByteArray ProxyServer::authorization() const
{
    if (user.isEmpty() && password.isEmpty())
        return {};
    return "Basic " + (user + QLatin1Char(':') + password).toUtf8().toBase64();
}

ProxyServer parseProxyUrl(const QString &text)
{
    ProxyServer out;
    QString t = text.trimmed();
    if (!t.contains(QLatin1String("://")))
        t.prepend(QStringLiteral("http://"));
    const QUrl url(t, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (scheme == QLatin1String("http"))
        out.kind = ProxyServer::Kind::Http;
    else if (scheme == QLatin1String("socks5") || scheme == QLatin1String("socks5h"))
        out.kind = ProxyServer::Kind::Socks5;
    out.host = url.host();
    out.port = url.port(1080); // curl's default for a proxy without a port
    out.user = url.userName(QUrl::FullyDecoded);
    out.password = url.password(QUrl::FullyDecoded);
    if (!url.isValid() || out.host.isEmpty())
        out.unusable = QStringLiteral("the proxy setting is not a URL with a host");
    else if (out.kind == ProxyServer::Kind::None)
        out.unusable = QStringLiteral("proxies of the scheme \"%1\" are not supported (http and socks5 are)").arg(scheme);
    return out;
}

bool noProxyMatches(const QString &list, const QString &host, int port)
{
    const QString h = bare(host);
    for (const QString &raw : list.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const QString entry = raw.trimmed().toLower();
        if (entry == QLatin1String("*"))
            return true;
        if (!entry.isEmpty() && entryMatches(entry, h, port))
            return true;
    }
    return false;
}

ProxyServer proxyFor(bool secure, const QString &host, int port)
{
    if (loopback(host))
        return {};
    const QString https = env("https_proxy", "HTTPS_PROXY");
    const QString http = env("http_proxy"); // HTTP_PROXY is ignored, as curl does
    const QString all = env("all_proxy", "ALL_PROXY");
    const QString none = env("no_proxy", "NO_PROXY");
    if (https.isEmpty() && http.isEmpty() && all.isEmpty() && none.isEmpty())
        return fromSystem(secure, host, port);
    if (noProxyMatches(none, host, port))
        return {};
    QString named = secure ? https : http;
    if (named.isEmpty())
        named = all;
    return named.isEmpty() ? ProxyServer() : parseProxyUrl(named);
}

} // namespace tx
