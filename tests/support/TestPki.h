#pragma once
// Certificates made at test time with the openssl program: a CA, and server
// certificates it signs (or that sign themselves), in a temporary folder that goes
// with the object. No key material lives in the tree.
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace tx::test {

struct TestCert {
    QString cert, key; // PEM files
};

class TestPki {
public:
    TestPki();
    bool ok() const { return made; }
    // The CA's certificate: what SSL_CERT_FILE names to trust the servers below.
    QString caFile() const { return ca.cert; }
    // Signed by the CA; `names` are subject alternative names such as
    // "DNS:localhost" or "IP:127.0.0.1"; days < 0 makes it expired.
    TestCert server(const QString &tag, const QStringList &names, int days = 30);
    // Signs itself.
    TestCert selfSigned(const QString &tag, const QStringList &names);
    QString folder() const { return dir.path(); }

private:
    bool run(const QStringList &args);
    QTemporaryDir dir;
    TestCert ca;
    bool made = false;
};

} // namespace tx::test
