#include "support/TestPki.h"

#include <QFile>
#include <QProcess>

namespace tx::test {
namespace {

const QStringList kKey = {QStringLiteral("-newkey"), QStringLiteral("ec"), QStringLiteral("-pkeyopt"),
                          QStringLiteral("ec_paramgen_curve:prime256v1"), QStringLiteral("-nodes")};

} // namespace

bool TestPki::run(const QStringList &args)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QStringLiteral("openssl"), args);
    if (!p.waitForFinished(30000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        qWarning("openssl %s: %s", qPrintable(args.join(QLatin1Char(' '))), p.readAll().constData());
        return false;
    }
    return true;
}

TestPki::TestPki()
{
    ca = {dir.filePath(QStringLiteral("ca.pem")), dir.filePath(QStringLiteral("ca.key"))};
    made = run(QStringList{QStringLiteral("req"), QStringLiteral("-x509")} + kKey
               + QStringList{QStringLiteral("-keyout"), ca.key, QStringLiteral("-out"), ca.cert, QStringLiteral("-days"),
                             QStringLiteral("30"), QStringLiteral("-subj"), QStringLiteral("/CN=Tessarix Test CA")});
}

TestCert TestPki::server(const QString &tag, const QStringList &names, int days)
{
    const TestCert out{dir.filePath(tag + QStringLiteral(".pem")), dir.filePath(tag + QStringLiteral(".key"))};
    const QString csr = dir.filePath(tag + QStringLiteral(".csr"));
    const QString ext = dir.filePath(tag + QStringLiteral(".ext"));
    QFile f(ext);
    f.open(QIODevice::WriteOnly);
    f.write("subjectAltName=" + names.join(QLatin1Char(',')).toUtf8() + "\n");
    f.close();
    const QString cn = names.value(0).section(QLatin1Char(':'), 1);
    if (!run(QStringList{QStringLiteral("req")} + kKey
             + QStringList{QStringLiteral("-keyout"), out.key, QStringLiteral("-out"), csr, QStringLiteral("-subj"),
                           QStringLiteral("/CN=") + cn})
        || !run({QStringLiteral("x509"), QStringLiteral("-req"), QStringLiteral("-in"), csr, QStringLiteral("-CA"), ca.cert,
                 QStringLiteral("-CAkey"), ca.key, QStringLiteral("-CAcreateserial"), QStringLiteral("-out"), out.cert,
                 QStringLiteral("-days"), QString::number(days), QStringLiteral("-extfile"), ext}))
        made = false;
    return out;
}

TestCert TestPki::selfSigned(const QString &tag, const QStringList &names)
{
    const TestCert out{dir.filePath(tag + QStringLiteral(".pem")), dir.filePath(tag + QStringLiteral(".key"))};
    const QString cn = names.value(0).section(QLatin1Char(':'), 1);
    if (!run(QStringList{QStringLiteral("req"), QStringLiteral("-x509")} + kKey
             + QStringList{QStringLiteral("-keyout"), out.key, QStringLiteral("-out"), out.cert, QStringLiteral("-days"),
                           QStringLiteral("30"), QStringLiteral("-subj"), QStringLiteral("/CN=") + cn,
                           QStringLiteral("-addext"), QStringLiteral("subjectAltName=") + names.join(QLatin1Char(','))}))
        made = false;
    return out;
}

} // namespace tx::test
