#pragma once
// What a secure connection trusts and how a refused handshake is told to the user.
#include <QList>
#include <QSslConfiguration>
#include <QSslError>
#include <QString>

namespace tx::tls {

// TLS 1.2 or newer, the peer always verified. The CA certificates are those of
// SSL_CERT_FILE and SSL_CERT_DIR (a colon-separated list of folders) when either
// is set, which replace the system's; otherwise the system's store.
QSslConfiguration clientConfiguration();

// Why the handshake with host:port failed, in one line: not trusted, a name the
// certificate does not hold (with the names it holds), expired, no acceptable
// protocol, or the library's own words.
QString describeFailure(const QString &host, int port, const QList<QSslError> &errors, const QString &socketError);

// The host-name check of the certificate, for names that are IP addresses:
// true when one of its IP address entries is `host`.
bool holdsAddress(const QSslCertificate &cert, const QString &host);

} // namespace tx::tls
