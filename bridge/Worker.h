#pragma once
// One session's worker process: the page's objects and the calls on them, made
// through the page host's own core (component loading, dispatch, argument and
// error conversion). It talks to the service over an inherited socket, one JSON
// object a line: {"request": ...} and {"end": true} in; {"reply": ...},
// {"event": ...}, {"audit": "..."} and {"ended": ...} out.
#include "bridge/Protocol.h"
#include "core/PathGrants.h"
#include "platform/Ui.h"

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QQueue>

class QLocalSocket;
class QWidget;

namespace tx::com {
class IDispatch;
struct ClassInfo;
struct MemberInfo;
} // namespace tx::com

namespace tx::bridge {

class EventRelay;

struct WorkerOptions {
    QString origin;
    bool automation = false; // boxes and dialogs answered from queues, automation messages allowed
    bool anyPath = false;    // the origin may name any local path
};

class Worker : public QObject {
    Q_OBJECT
public:
    Worker(WorkerOptions options, QLocalSocket *channel);
    ~Worker() override;

private:
    struct Entry {
        com::IDispatch *dispatch = nullptr;
        const com::ClassInfo *info = nullptr;
        QPointer<EventRelay> relay;
        QPointer<QWidget> window;
    };

    void readLines();
    void drain();
    void handle(const QByteArray &line);
    QJsonValue run(const Request &r);
    QJsonValue create(const QString &progId);
    QJsonValue call(const QJsonObject &m);
    QJsonValue property(const QJsonObject &m, bool put);
    QJsonValue release(int id);
    QJsonValue show(int id);
    QJsonValue choose(const QJsonObject &m);
    QJsonValue automation(const QJsonObject &m);

    Entry &entry(const QJsonObject &m);
    const com::MemberInfo *member(const Entry &e, const QString &name, int32_t *dispid);
    QVariant invoke(Entry &e, int32_t dispid, uint16_t flags, const QVariantList &args);
    void checkPaths(const Entry &e, const com::MemberInfo &m, const QVariantList &args);
    void closeWindow(Entry &e);

    void send(const char *kind, const QJsonValue &value);
    void sendEvent(const QString &event, const QJsonObject &fields);
    void relayBox(const ui::MessageBoxRecord &r);
    void end(bool report);

    WorkerOptions options;
    QLocalSocket *channel;
    QQueue<QByteArray> inbox;
    QHash<int, Entry> objects;
    int nextId = 1;
    int depth = 0; // member calls on the stack
    PathGrants grants;
    bool ending = false;
    bool held = false; // waiting for the service to take what we sent
};

// `tessarix bridge-worker --origin ORIGIN [--automation] [--any-path]`, with the
// service's socket on descriptor 3.
int workerMain(int argc, char **argv);

} // namespace tx::bridge
