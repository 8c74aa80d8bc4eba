#include "support/StandInPortal.h"

#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QFile>
#include <QTimer>
#include <QUrl>

namespace tx::test {
namespace {

const QString kService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPath = QStringLiteral("/org/freedesktop/portal/desktop");

// A session bus with no service directories: nothing on the machine can be
// started on it in the stand-in's place.
const char kConfig[] =
    "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
    " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
    "<busconfig>\n"
    "  <type>session</type>\n"
    "  <listen>unix:tmpdir=%1</listen>\n"
    "  <auth>EXTERNAL</auth>\n"
    "  <policy context=\"default\">\n"
    "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
    "    <allow eavesdrop=\"true\"/>\n"
    "    <allow own=\"*\"/>\n"
    "  </policy>\n"
    "</busconfig>\n";

} // namespace

// One request's object, for the Close that takes a question back: no answer
// follows then.
class RequestObject : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Request")
public:
    RequestObject(StandInPortal *portal, QString handle) : QObject(portal), portal(portal), handle(std::move(handle)) {}
public slots:
    void Close()
    {
        ++portal->closed;
        portal->bus.unregisterObject(handle);
    }

private:
    StandInPortal *portal;
    QString handle;
};

StandInPortal::StandInPortal()
{
    if (!dir.isValid())
        return;
    QFile config(dir.filePath(QStringLiteral("bus.conf")));
    if (!config.open(QIODevice::WriteOnly) ||
        config.write(QString::fromLatin1(kConfig).arg(dir.path()).toUtf8()) <= 0)
        return;
    config.close();
    daemon.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    daemon.start(QStringLiteral("dbus-daemon"),
                 {QStringLiteral("--config-file=") + config.fileName(), QStringLiteral("--nofork"),
                  QStringLiteral("--print-address=1")});
    if (!daemon.waitForReadyRead(10000))
        return;
    const QByteArray address = daemon.readLine().trimmed();
    if (address.isEmpty())
        return;
    qputenv("DBUS_SESSION_BUS_ADDRESS", address);
    bus = QDBusConnection::connectToBus(QString::fromLatin1(address), QStringLiteral("stand-in-portal"));
    valid = bus.isConnected();
    answer(Answer::Picture);
}

StandInPortal::~StandInPortal()
{
    QDBusConnection::disconnectFromBus(QStringLiteral("stand-in-portal"));
    if (daemon.state() != QProcess::NotRunning) {
        daemon.terminate();
        if (!daemon.waitForFinished(5000))
            daemon.kill();
        daemon.waitForFinished(5000);
    }
}

void StandInPortal::answer(Answer a, int delayMs)
{
    mode = a;
    delay = delayMs;
    requests.clear();
    closed = 0;
    bus.unregisterObject(kPath);
    bus.unregisterService(kService);
    if (a == Answer::NoService)
        return;
    bus.registerService(kService);
    // Without the interface the object is still there, as in a portal whose
    // backend has no screenshots.
    if (a != Answer::NoInterface)
        bus.registerObject(kPath, this, QDBusConnection::ExportAllSlots);
    else
        bus.registerObject(kPath, new QObject(this));
}

QDBusObjectPath StandInPortal::Screenshot(const QString &, const QVariantMap &options)
{
    requests.append(options);
    QString sender = message().service();
    sender.remove(QLatin1Char(':'));
    sender.replace(QLatin1Char('.'), QLatin1Char('_'));
    const QString handle =
        kPath + QStringLiteral("/request/") + sender + u'/' + options.value(QStringLiteral("handle_token")).toString();
    bus.registerObject(handle, new RequestObject(this, handle), QDBusConnection::ExportAllSlots);
    if (mode != Answer::Nothing)
        QTimer::singleShot(delay, this, [this, handle] { respond(handle); });
    return QDBusObjectPath(handle);
}

void StandInPortal::respond(const QString &handle)
{
    if (!bus.objectRegisteredAt(handle))
        return; // taken back
    uint code = 0;
    QVariantMap results;
    if (mode == Answer::Refusal) {
        code = 1;
    } else if (mode == Answer::Uri) {
        results.insert(QStringLiteral("uri"), uri);
    } else {
        const QString file = dir.filePath(QStringLiteral("Screenshot-%1.png").arg(saved.size() + 1));
        picture.save(file, "PNG");
        saved.append(file);
        results.insert(QStringLiteral("uri"), QUrl::fromLocalFile(file).toString());
    }
    QDBusMessage response =
        QDBusMessage::createSignal(handle, QStringLiteral("org.freedesktop.portal.Request"), QStringLiteral("Response"));
    response << code << results;
    bus.send(response);
    bus.unregisterObject(handle);
}

} // namespace tx::test

#include "StandInPortal.moc"
