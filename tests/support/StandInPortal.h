#pragma once
// A desktop's screenshot portal for tests: a private session bus (its own
// dbus-daemon, which starts no services) that this process is pointed at, and on it
// a service answering the Screenshot call the way a desktop does: with a picture
// file, a refusal, or nothing at all; or no such service.
#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusObjectPath>
#include <QImage>
#include <QObject>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <QVariantMap>

namespace tx::test {

class StandInPortal : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Screenshot")
public:
    enum class Answer {
        Picture,     // saves `picture` as a PNG and names it
        Uri,         // names `uri` as it is (a hostile or broken answer)
        Refusal,     // response 1: the person said no
        Nothing,     // the call is taken, no response ever comes
        NoService,   // nobody owns the portal's name
        NoInterface, // the portal is there, without Screenshot
    };

    // Starts the bus and sets DBUS_SESSION_BUS_ADDRESS; isValid() tells.
    StandInPortal();
    ~StandInPortal() override;
    bool isValid() const { return valid; }

    // How the next calls are answered, after `delayMs` (the person thinking).
    void answer(Answer a, int delayMs = 0);
    QImage picture;
    QString uri;

    // What the calls asked for, and how many questions were taken back.
    QList<QVariantMap> requests;
    int closed = 0;
    // The files it saved for the answers, in order.
    QStringList saved;

public slots:
    QDBusObjectPath Screenshot(const QString &parentWindow, const QVariantMap &options);

private:
    friend class RequestObject;
    void respond(const QString &handle);

    QProcess daemon;
    QTemporaryDir dir;
    QDBusConnection bus{QString()};
    Answer mode = Answer::Picture;
    int delay = 0;
    bool valid = false;
};

} // namespace tx::test
