#include "platform/TlsTrust.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QSet>
#include <QSslCertificate>
#include <QStringList>

namespace tx::tls {
namespace {

QStringList namesOf(const QSslCertificate &cert)
{
    QStringList names;
    const auto alt = cert.subjectAlternativeNames();
    for (auto it = alt.cbegin(); it != alt.cend(); ++it)
        names << (it.key() == QSsl::IpAddressEntry ? QStringLiteral("IP ") : QString()) + it.value();
    if (names.isEmpty())
        names = cert.subjectInfo(QSslCertificate::CommonName);
    return names;
}

bool untrusted(QSslError::SslError e)
{
    switch (e) {
    case QSslError::SelfSignedCertificate:
    case QSslError::SelfSignedCertificateInChain:
    case QSslError::UnableToGetLocalIssuerCertificate:
    case QSslError::UnableToGetIssuerCertificate:
    case QSslError::UnableToVerifyFirstCertificate:
    case QSslError::CertificateUntrusted:
    case QSslError::CertificateRejected:
    case QSslError::InvalidCaCertificate:
        return true;
    default:
        return false;
    }
}

// The certificates of the files' PEM blocks, each once. A system folder holds every CA
// three times (its file, a link named by its hash, the bundle of all), and
// parsing one takes the better part of a millisecond: read the files whole,
// parse each distinct certificate once. Each block is parsed on its own: the
// parser gives up on all that follows a malformed block, and one broken file in
// a folder must not cost the certificates of the files after it.
QList<QSslCertificate> distinctPemCertificates(const QStringList &paths)
{
    static const QByteArray begin = QByteArrayLiteral("-----BEGIN CERTIFICATE-----");
    static const QByteArray end = QByteArrayLiteral("-----END CERTIFICATE-----");
    QSet<QString> read;
    QSet<QByteArray> seen;
    QList<QSslCertificate> cas;
    for (const QString &path : paths) {
        const QFileInfo info(path);
        const QString real = info.canonicalFilePath();
        if (!info.isFile() || read.contains(real))
            continue;
        read.insert(real);
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
            continue;
        const QByteArray text = f.readAll();
        for (qsizetype at = text.indexOf(begin); at >= 0;) {
            const qsizetype stop = text.indexOf(end, at);
            if (stop < 0)
                break;
            // A begin line left without its end belongs to no certificate.
            at = text.lastIndexOf(begin, stop);
            const QByteArray block = text.mid(at, stop + end.size() - at);
            if (!seen.contains(block)) {
                seen.insert(block);
                cas << QSslCertificate::fromData(block + '\n', QSsl::Pem);
            }
            at = text.indexOf(begin, stop);
        }
    }
    return cas;
}

// The named places replace the system's store; when they hold no CA at all
// (a missing file, a directory given as the file), a refusal says so.
bool namedStoreEmpty = false;

} // namespace

QSslConfiguration clientConfiguration()
{
    QSslConfiguration c = QSslConfiguration::defaultConfiguration();
    c.setProtocol(QSsl::TlsV1_2OrLater);
    c.setPeerVerifyMode(QSslSocket::VerifyPeer);
    const QString file = qEnvironmentVariable("SSL_CERT_FILE");
    const QString dirs = qEnvironmentVariable("SSL_CERT_DIR");
    namedStoreEmpty = false;
    if (file.isEmpty() && dirs.isEmpty())
        return c; // the system's store, loaded as it is needed
    // Parsing a bundle of a few hundred CAs takes half a second: read again only
    // when the variables or the files change. A file rewritten in place leaves
    // its folder's time as it was: each file's own time and size count.
    QFileInfoList files;
    if (!file.isEmpty())
        files << QFileInfo(file);
    for (const QString &dir : dirs.split(QLatin1Char(':'), Qt::SkipEmptyParts))
        files << QDir(dir).entryInfoList(QDir::Files);
    QString key = file + QLatin1Char('\n') + dirs;
    QStringList paths;
    for (const QFileInfo &info : files) {
        paths << info.filePath();
        key += QStringLiteral("\n%1 %2 %3")
                   .arg(info.filePath())
                   .arg(info.lastModified().toMSecsSinceEpoch())
                   .arg(info.size());
    }
    static QString cachedKey;
    static QList<QSslCertificate> cached;
    if (key != cachedKey) {
        cached = distinctPemCertificates(paths);
        cachedKey = key;
    }
    // Replaces the system's store: a CA named here is all that is trusted.
    c.setCaCertificates(cached);
    namedStoreEmpty = cached.isEmpty();
    return c;
}

bool holdsAddress(const QSslCertificate &cert, const QString &host)
{
    const QHostAddress wanted(host);
    if (wanted.isNull())
        return false;
    const auto alt = cert.subjectAlternativeNames();
    for (auto it = alt.cbegin(); it != alt.cend(); ++it)
        if (it.key() == QSsl::IpAddressEntry && QHostAddress(it.value()).isEqual(wanted))
            return true;
    return false;
}

QString describeFailure(const QString &host, int port, const QList<QSslError> &errors, const QString &socketError)
{
    QString why;
    for (const QSslError &e : errors) {
        if (untrusted(e.error())) {
            const bool self = e.error() == QSslError::SelfSignedCertificate
                || e.error() == QSslError::SelfSignedCertificateInChain;
            QString issuer = e.certificate().issuerInfo(QSslCertificate::CommonName).join(QStringLiteral(", "));
            why = self ? QStringLiteral("the certificate is not trusted (self-signed)")
                       : QStringLiteral("the certificate is not trusted (unknown issuer%1)")
                             .arg(issuer.isEmpty() ? QString() : QStringLiteral(" \"%1\"").arg(issuer));
            if (namedStoreEmpty)
                why += QStringLiteral("; SSL_CERT_FILE and SSL_CERT_DIR name no readable CA certificate");
            break;
        }
    }
    if (why.isEmpty()) {
        for (const QSslError &e : errors) {
            if (e.error() == QSslError::HostNameMismatch) {
                why = QStringLiteral("the certificate is for %1, not %2")
                          .arg(namesOf(e.certificate()).join(QStringLiteral(", ")), host);
                break;
            }
            if (e.error() == QSslError::CertificateExpired) {
                why = QStringLiteral("the certificate expired on %1")
                          .arg(e.certificate().expiryDate().toUTC().toString(Qt::ISODate));
                break;
            }
            if (e.error() == QSslError::CertificateNotYetValid) {
                why = QStringLiteral("the certificate is not valid before %1")
                          .arg(e.certificate().effectiveDate().toUTC().toString(Qt::ISODate));
                break;
            }
        }
    }
    if (why.isEmpty() && !errors.isEmpty())
        why = errors.first().errorString();
    if (why.isEmpty()) {
        const QString lower = socketError.toLower();
        why = lower.contains(QLatin1String("protocol")) || lower.contains(QLatin1String("version"))
            ? QStringLiteral("the server offers no protocol accepted here (TLS 1.2 or newer): %1").arg(socketError)
            : socketError;
    }
    return QStringLiteral("Secure connection to %1:%2 refused: %3").arg(host).arg(port).arg(why);
}

} // namespace tx::tls
