#pragma once
// What a control's form shows, pushed to the page as events: each progress bar's
// value (coalesced to ten a second), each line added to a list, and each answer
// its upload machinery received (boxes are the worker's: they have no widget here).
#include <QHash>
#include <QJsonObject>
#include <QObject>
#include <QTimer>
#include <functional>

namespace tx::bridge {

class EventRelay : public QObject {
    Q_OBJECT
public:
    using Send = std::function<void(const QString &event, const QJsonObject &fields)>;
    // Watches the progress bars and lists under `control` (borrowed).
    EventRelay(int objectId, QObject *control, Send send);

    // Sends what is pending now (before the reply of the call that caused it).
    void flush();

    // A box or a log line may hold a server's whole answer (up to 16 MiB): the
    // page gets its first 4096 characters, then "…".
    static QString cut(const QString &text);

private slots:
    void onAnswer(const QString &statusLine, const QString &firstBodyLine, const QString &file);

private:
    int object;
    Send send;
    QHash<QString, int> pending; // child name -> latest value
    QHash<QString, int> sent;
    QTimer tick;
};

} // namespace tx::bridge
