#include "platform/ScreenPortal.h"

#include "platform/Clipboard.h"
#include "core/Pump.h"
#include "core/Settings.h"

#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QFile>
#include <QObject>
#include <QRandomGenerator>
#include <QTimer>
#include <QVariantMap>

#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tx::screen::portal {
namespace {

const QString kService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kScreenshot = QStringLiteral("org.freedesktop.portal.Screenshot");
const QString kRequest = QStringLiteral("org.freedesktop.portal.Request");

// Larger than any screen's PNG; a file beyond it is not a screenshot.
constexpr qint64 kMaxPictureBytes = qint64(512) << 20;
constexpr int kAnswerTicks = 300;

// Catches the one Response of one request.
class Answer : public QObject {
    Q_OBJECT
public:
    bool arrived = false;
    uint code = 2;
    QVariantMap results;

public slots:
    void take(uint response, const QVariantMap &values)
    {
        if (arrived)
            return;
        arrived = true;
        code = response;
        results = values;
    }
};

bool missingService(const QDBusError &e)
{
    switch (e.type()) {
    case QDBusError::ServiceUnknown:
    case QDBusError::UnknownObject:
    case QDBusError::UnknownInterface:
    case QDBusError::UnknownMethod:
        return true;
    default:
        // Older buses name the missing owner this way.
        return e.name() == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner");
    }
}

// The path the portal gives the request: the caller's unique name without its
// colon and with "_" for ".", then the token.
QString requestPath(const QDBusConnection &bus, const QString &token)
{
    QString sender = bus.baseService();
    sender.remove(QLatin1Char(':'));
    sender.replace(QLatin1Char('.'), QLatin1Char('_'));
    return kPath + QStringLiteral("/request/") + sender + QLatin1Char('/') + token;
}

bool subscribe(QDBusConnection &bus, const QString &path, Answer &answer)
{
    return bus.connect(kService, path, kRequest, QStringLiteral("Response"), &answer,
                       SLOT(take(uint,QVariantMap)));
}

void unsubscribe(QDBusConnection &bus, const QString &path, Answer &answer)
{
    bus.disconnect(kService, path, kRequest, QStringLiteral("Response"), &answer,
                   SLOT(take(uint,QVariantMap)));
}

// Reads the picture the desktop saved for us and removes the file. Only a regular
// file of this user's, reached without a link, is read or removed.
Result takePicture(const QString &uri)
{
    Result r;
    const QString path = clipboard::localPathFromUri(uri.toUtf8());
    if (path.isEmpty()) {
        r.why = QStringLiteral("the desktop named no local picture file (%1)").arg(uri.left(200));
        return r;
    }
    const QByteArray native = QFile::encodeName(path);
    const int fd = ::open(native.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        r.why = QStringLiteral("the desktop's picture %1 cannot be read: %2")
                    .arg(path, QString::fromLocal8Bit(strerror(errno)));
        return r;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::getuid()) {
        ::close(fd);
        r.why = QStringLiteral("the desktop's picture %1 is not a file of this user's").arg(path);
        return r;
    }
    QByteArray bytes;
    {
        QFile f;
        if (st.st_size <= kMaxPictureBytes && f.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
            bytes = f.read(kMaxPictureBytes + 1);
        else
            ::close(fd);
    }
    // Removed whatever it holds: nobody else asked for it. The same file only,
    // should it have been replaced meanwhile.
    struct stat now {};
    if (::lstat(native.constData(), &now) == 0 && now.st_dev == st.st_dev && now.st_ino == st.st_ino)
        ::unlink(native.constData());
    if (bytes.isEmpty() || bytes.size() > kMaxPictureBytes) {
        r.why = QStringLiteral("the desktop's picture %1 is empty or too large").arg(path);
        return r;
    }
    r.image = QImage::fromData(bytes);
    if (r.image.isNull()) {
        r.why = QStringLiteral("the desktop's picture %1 is not a picture").arg(path);
        return r;
    }
    r.outcome = Outcome::Picture;
    return r;
}

// The session's bus as it is named when the capture starts. A connection of its
// own: what the process looked up before (the library keeps the first address it
// saw) does not decide.
QDBusConnection sessionBus()
{
    QString address = qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS");
    if (address.isEmpty() && !qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR"))
        address = QStringLiteral("unix:path=") + qEnvironmentVariable("XDG_RUNTIME_DIR") + QStringLiteral("/bus");
    if (address.isEmpty())
        return QDBusConnection(QString());
    const QString name = QStringLiteral("tessarix-portal ") + address;
    QDBusConnection bus = QDBusConnection::connectToBus(address, name);
    if (!bus.isConnected()) {
        // A connection kept from a bus that has since gone (a restarted session
        // bus at the same address): drop it and connect afresh, once.
        QDBusConnection::disconnectFromBus(name);
        bus = QDBusConnection::connectToBus(address, name);
        if (!bus.isConnected())
            QDBusConnection::disconnectFromBus(name); // the next capture tries again
    }
    return bus;
}

} // namespace

QString refusedText() { return QStringLiteral("the desktop refused the screenshot"); }
QString missingText() { return QStringLiteral("no screenshot portal: install xdg-desktop-portal-gnome or -kde"); }

Result request(const QObject *owner)
{
    Result r;
    QDBusConnection bus = sessionBus();
    if (!bus.isConnected()) {
        r.outcome = Outcome::Missing;
        r.why = missingText() + QStringLiteral(" (there is no session bus)");
        return r;
    }
    const QString token = QStringLiteral("tessarix%1").arg(QRandomGenerator::global()->generate());
    QString handle = requestPath(bus, token);
    // Subscribed before asking: the answer may come before the call's reply.
    Answer answer;
    subscribe(bus, handle, answer);

    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kScreenshot, QStringLiteral("Screenshot"));
    const QVariantMap options{{QStringLiteral("handle_token"), token},
                              {QStringLiteral("interactive"), false},
                              {QStringLiteral("modal"), true}};
    call << QString() << options;
    const int answerMs = settings::tickMs() * kAnswerTicks;
    QDBusPendingCallWatcher reply(bus.asyncCall(call, answerMs));

    bool expired = false;
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, [&expired] { expired = true; });
    deadline.start(answerMs);

    bool replied = false;
    const auto settled = [&] {
        if (!replied && reply.isFinished()) {
            replied = true;
            if (!reply.isError()) {
                // Portals before the token rule answer with a path of their own.
                const QString given = QDBusPendingReply<QDBusObjectPath>(reply).value().path();
                if (!given.isEmpty() && given != handle) {
                    unsubscribe(bus, handle, answer);
                    handle = given;
                    subscribe(bus, handle, answer);
                }
            }
        }
        return expired || answer.arrived || (replied && reply.isError());
    };
    const bool stood = pump::until(owner, settled);
    unsubscribe(bus, handle, answer);

    if (replied && reply.isError() &&
        (reply.error().type() == QDBusError::NoReply || reply.error().type() == QDBusError::Timeout)) {
        r.outcome = Outcome::NoAnswer;
        r.why = QStringLiteral("the desktop did not answer the screenshot request");
        return r;
    }
    if (replied && reply.isError()) {
        const QDBusError e = reply.error();
        r.outcome = missingService(e) ? Outcome::Missing : Outcome::Failed;
        r.why = r.outcome == Outcome::Missing
                    ? missingText()
                    : QStringLiteral("the screenshot portal failed: %1").arg(e.message().left(300));
        return r;
    }
    if (!answer.arrived) {
        // The desktop may still be asking the person: take the question back. Its
        // path is known from our token before the call's reply comes.
        bus.send(QDBusMessage::createMethodCall(kService, handle, kRequest, QStringLiteral("Close")));
        r.outcome = stood ? Outcome::NoAnswer : Outcome::Abandoned;
        r.why = stood ? QStringLiteral("the desktop did not answer the screenshot request") : QString();
        return r;
    }
    if (!stood) {
        // Released meanwhile: the picture is nobody's, but the file still goes.
        if (answer.code == 0)
            takePicture(answer.results.value(QStringLiteral("uri")).toString());
        r.outcome = Outcome::Abandoned;
        return r;
    }
    if (answer.code != 0) {
        r.outcome = Outcome::Refused;
        r.why = refusedText();
        return r;
    }
    return takePicture(answer.results.value(QStringLiteral("uri")).toString());
}

} // namespace tx::screen::portal

#include "ScreenPortal.moc"
