#include "bridge/Worker.h"

#include "bridge/ChildActions.h"
#include "bridge/EventRelay.h"
#include "core/Activity.h"
#include "core/Pump.h"
#include "hostcore/ComponentLoader.h"
#include "hostcore/MemberInvoke.h"
#include "office/LeaveOffice.h"
#include "platform/QtTranslations.h"
#include "platform/TcpClient.h"
#include "platform/Ui.h"
#include "shell/com/Interfaces.h"

#include <QApplication>
#include <QCloseEvent>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLocalSocket>
#include <QUrl>
#include <QVBoxLayout>
#include <QWidget>
#include <unistd.h>

namespace tx::bridge {

using namespace tx::com;

namespace {

// The open-file flag that lets the user pick several files.
constexpr int kAllowMultiSelect = 0x200;
// What may wait in our end of the channel while the service does not read it
// (its page does not): beyond it we wait.
constexpr qint64 kMaxUnsent = 1024 * 1024;

// Tells the page when the user closes a control's window.
class CloseWatch : public QObject {
public:
    CloseWatch(QWidget *window, std::function<void()> onClose) : QObject(window), onClose(std::move(onClose))
    {
        window->installEventFilter(this);
    }
    bool eventFilter(QObject *, QEvent *e) override
    {
        if (e->type() == QEvent::Close)
            onClose();
        return false;
    }

private:
    std::function<void()> onClose;
};

QStringList strings(const QJsonValue &v)
{
    QStringList out;
    for (const QJsonValue &s : v.toArray())
        out << s.toString();
    return out;
}

} // namespace

Worker::Worker(WorkerOptions opts, QLocalSocket *socket) : options(std::move(opts)), channel(socket)
{
    ui::setBoxObserver([this](const ui::MessageBoxRecord &r) { relayBox(r); });
    connect(channel, &QLocalSocket::readyRead, this, &Worker::readLines);
    connect(channel, &QLocalSocket::disconnected, this, [this] { end(false); });
    // Where a control connects, as its socket takes it: the text of a URL can
    // name a port that is read differently elsewhere.
    TcpClient::setConnectObserver([this](const TcpClient::Route &r) {
        QString line = QStringLiteral("upload target %1://%2:%3").arg(r.scheme(), r.host).arg(r.port);
        if (r.proxy.kind != ProxyServer::Kind::None)
            line += QStringLiteral(" via proxy ") + r.proxy.shown();
        send("audit", line);
    });
    // Every read of a user's file in this process is held to the session's grants.
    if (!options.anyPath)
        PathGrants::install(&grants);
    readLines();
}

Worker::~Worker()
{
    PathGrants::install(nullptr);
    ui::setBoxObserver(nullptr);
    TcpClient::setConnectObserver({});
}

// A box a control showed, once answered, for the page to show as well. The control
// is the one whose call, handler or operation runs innermost.
void Worker::relayBox(const ui::MessageBoxRecord &r)
{
    QJsonObject fields{{QStringLiteral("text"), EventRelay::cut(r.text)},
                       {QStringLiteral("title"), r.title},
                       {QStringLiteral("icon"), ui::iconName(r.icon)},
                       {QStringLiteral("buttons"), ui::buttonsName(r.buttons)},
                       {QStringLiteral("answer"), ui::answerName(r.answer)}};
    // A person's click outside any operation: the control in the window they used.
    const QObject *control = activity::innermost();
    const QWidget *active = QApplication::activeWindow();
    for (auto it = objects.cbegin(); it != objects.cend(); ++it) {
        const QObject *mine = host::controlOf(it->dispatch);
        const auto *widget = qobject_cast<const QWidget *>(mine);
        if (control ? mine != control : !(active && widget && widget->window() == active))
            continue;
        fields.insert(QStringLiteral("object"), it.key());
        if (it->relay)
            it->relay->flush();
        break;
    }
    sendEvent(QStringLiteral("box"), fields);
}

// Requests are taken in arrival order even while an earlier call waits. They are
// handled from the event loop, not from the socket's signal: a socket does not
// signal again while a slot of its own is still running, so a call waiting inside
// that slot would hold up every request behind it.
void Worker::readLines()
{
    while (channel->canReadLine())
        inbox.enqueue(channel->readLine());
    if (!inbox.isEmpty())
        QMetaObject::invokeMethod(this, &Worker::drain, Qt::QueuedConnection);
}

void Worker::drain()
{
    while (!ending && !held && !inbox.isEmpty())
        handle(inbox.dequeue());
}

void Worker::handle(const QByteArray &line)
{
    const QJsonObject wrapper = QJsonDocument::fromJson(line).object();
    if (wrapper.contains(QStringLiteral("end"))) {
        end(true);
        return;
    }
    const QByteArray frame = QJsonDocument(wrapper.value(QStringLiteral("request")).toObject()).toJson(QJsonDocument::Compact);
    const Checked checked = checkRequest(frame);
    if (!checked.request) {
        send("reply", QJsonDocument::fromJson(errorReply(checked.id, checked.error)).object());
        return;
    }
    QByteArray reply;
    try {
        reply = resultReply(checked.id, run(*checked.request));
    } catch (const AutomationError &e) {
        reply = errorReply(checked.id, e);
    }
    if (!ending)
        send("reply", QJsonDocument::fromJson(reply).object());
}

QJsonValue Worker::run(const Request &r)
{
    const QJsonObject &m = r.message;
    if (r.type == u"create")
        return create(m.value(QStringLiteral("progId")).toString());
    if (r.type == u"call")
        return call(m);
    if (r.type == u"get")
        return property(m, false);
    if (r.type == u"put")
        return property(m, true);
    if (r.type == u"release")
        return release(m.value(QStringLiteral("object")).toInt());
    if (r.type == u"show")
        return show(m.value(QStringLiteral("object")).toInt());
    if (r.type == u"choose")
        return choose(m);
    return automation(m);
}

QJsonValue Worker::create(const QString &progId)
{
    if (objects.size() >= kMaxObjects)
        throw limitError(QStringLiteral("a session holds at most %1 objects").arg(kMaxObjects));
    // Only the catalogue's own classes: the loader would follow any registered ProgID.
    if (!progId.startsWith(QStringLiteral("Tessarix5."), Qt::CaseInsensitive))
        raiseRuntime(ErrCantCreateObject, progId);
    IDispatch *object = host::createObject(progId);
    const ClassInfo *info = nullptr;
    if (failed(object->GetTypeInfo(&info)) || !info || info->progId().compare(progId, Qt::CaseInsensitive) != 0) {
        object->Release();
        raiseRuntime(ErrCantCreateObject, progId);
    }
    const int id = nextId++;
    Entry e{object, info, {}, {}};
    if (QObject *control = host::controlOf(object))
        e.relay = new EventRelay(id, control, [this](const QString &ev, const QJsonObject &f) { sendEvent(ev, f); });
    objects.insert(id, e);
    send("audit", QStringLiteral("create %1 as object %2").arg(info->progId()).arg(id));
    return id;
}

Worker::Entry &Worker::entry(const QJsonObject &m)
{
    const int id = m.value(QStringLiteral("object")).toInt();
    auto it = objects.find(id);
    if (it == objects.end())
        raiseRuntime(ErrObjectNotSet, QStringLiteral("object %1 (released, or never created)").arg(id));
    return *it;
}

const MemberInfo *Worker::member(const Entry &e, const QString &name, int32_t *dispid)
{
    *dispid = host::memberId(e.dispatch, name);
    return e.info->member(*dispid);
}

QJsonValue Worker::call(const QJsonObject &m)
{
    Entry &e = entry(m);
    const QString name = m.value(QStringLiteral("member")).toString();
    int32_t dispid = -1;
    const MemberInfo *info = member(e, name, &dispid);
    if (info && info->isProperty())
        raiseRuntime(ErrNoSuchMember, name + QStringLiteral(" is a property (get or put it)"));
    QVariantList args;
    for (const QJsonValue &v : m.value(QStringLiteral("args")).toArray())
        args.append(toArgument(v));
    if (info)
        checkPaths(e, *info, args);
    // The entry may move or go while the member pumps events; keep the class.
    const ClassInfo *cls = e.info;
    send("audit", QStringLiteral("call %1.%2").arg(QLatin1String(cls->name), name));
    const QVariant result = invoke(e, dispid, DISPATCH_METHOD, args);
    // A control's own answer naming local files hands them to the session.
    if (info && QLatin1String(cls->name) == u"Helper" && QLatin1String(info->name) == u"GetClipFiles")
        grants.grantAll(result.toString().split(QStringLiteral("||"), Qt::SkipEmptyParts));
    return toJson(result);
}

QJsonValue Worker::property(const QJsonObject &m, bool put)
{
    Entry &e = entry(m);
    const QString name = m.value(QStringLiteral("member")).toString();
    int32_t dispid = -1;
    const MemberInfo *info = member(e, name, &dispid);
    if (info && !info->isProperty())
        raiseRuntime(ErrNoSuchMember, name + QStringLiteral(" is a method (call it)"));
    if (!put)
        return toJson(invoke(e, dispid, DISPATCH_PROPERTYGET, {}));
    send("audit", QStringLiteral("put %1.%2").arg(QLatin1String(e.info->name), name));
    invoke(e, dispid, DISPATCH_PROPERTYPUT, {toArgument(m.value(QStringLiteral("value")))});
    return QJsonValue();
}

QVariant Worker::invoke(Entry &e, int32_t dispid, uint16_t flags, const QVariantList &args)
{
    // The entry may go (release) while the member pumps events; keep what we need.
    IDispatch *object = e.dispatch;
    QPointer<EventRelay> relay = e.relay;
    object->AddRef();
    ++depth;
    struct Leave {
        Worker *w;
        IDispatch *o;
        ~Leave() { --w->depth; o->Release(); }
    } leave{this, object};
    QVariant result = host::invokeMember(object, dispid, flags, args);
    // Progress made by the call reaches the page before its reply.
    if (relay)
        relay->flush();
    return result;
}

void Worker::checkPaths(const Entry &e, const MemberInfo &m, const QVariantList &args)
{
    if (options.anyPath)
        return;
    for (qsizetype i = 0; i < args.size() && i < qsizetype(m.params.size()); ++i) {
        const ParamInfo &p = m.params[size_t(i)];
        // A number or a boolean reaches the member as text: a relative name.
        const int type = args[i].typeId();
        if (!p.localPath || (type != QMetaType::QString && type != QMetaType::Double && type != QMetaType::Bool))
            continue;
        const QString path = args[i].toString();
        // A NUL is refused before any rule: the kernel would stop at it.
        const bool nul = path.contains(QChar(0));
        if (nul || (!path.isEmpty() && !grants.allows(path))) {
            send("refused", QStringLiteral("call %1.%2: argument %3 names a path not given to the page")
                                .arg(QLatin1String(e.info->name), QLatin1String(m.name), QLatin1String(p.name)));
            if (nul)
                raiseRuntime(ErrFileNotFound, QStringLiteral("argument %1 holds a NUL character, which no file name can")
                                                  .arg(QLatin1String(p.name)));
            raiseRuntime(ErrPermissionDenied,
                         QStringLiteral("argument %1 names a path this page did not get from choose or from a control")
                             .arg(QLatin1String(p.name)));
        }
    }
}

QJsonValue Worker::release(int id)
{
    auto it = objects.find(id);
    if (it == objects.end())
        raiseRuntime(ErrObjectNotSet, QStringLiteral("object %1 (released, or never created)").arg(id));
    Entry e = *it;
    objects.erase(it);
    closeWindow(e);
    // A member of it still running holds its own reference; the last one goes then.
    e.dispatch->Release();
    return QJsonValue();
}

void Worker::closeWindow(Entry &e)
{
    if (!e.window)
        return;
    // A window never owns the control: the object does.
    for (QWidget *w : e.window->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly))
        w->setParent(nullptr);
    delete e.window.data();
}

QJsonValue Worker::show(int id)
{
    auto it = objects.find(id);
    if (it == objects.end())
        raiseRuntime(ErrObjectNotSet, QStringLiteral("object %1 (released, or never created)").arg(id));
    Entry &e = *it;
    QWidget *control = e.info->visible ? qobject_cast<QWidget *>(host::controlOf(e.dispatch)) : nullptr;
    if (!control)
        raiseRuntime(ErrInvalidCall, QStringLiteral("%1 has no form to show").arg(QLatin1String(e.info->name)));
    if (!e.window) {
        e.window = new QWidget;
        e.window->setWindowTitle(QStringLiteral("%1 — %2").arg(options.origin, QLatin1String(e.info->name)));
        new QVBoxLayout(e.window);
        control->setMinimumSize(control->size());
        e.window->layout()->addWidget(control);
        new CloseWatch(e.window, [this, id] {
            // The last progress first: a page releases the control once its window closed.
            const auto it = objects.constFind(id);
            if (it != objects.cend() && it->relay)
                it->relay->flush();
            sendEvent(QStringLiteral("closed"), {{QStringLiteral("object"), id}});
        });
        e.window->adjustSize();
    }
    e.window->show();
    e.window->raise();
    return QJsonValue();
}

QJsonValue Worker::choose(const QJsonObject &m)
{
    QStringList paths;
    if (m.value(QStringLiteral("folder")).toBool()) {
        const QString folder = ui::browseForFolder();
        if (!folder.isEmpty())
            paths << folder;
    } else {
        const bool multiple = m.value(QStringLiteral("multiple")).toBool();
        ui::FileDialogRequest request;
        request.filter = m.value(QStringLiteral("filter")).toString();
        request.flags = multiple ? kAllowMultiSelect : 0;
        paths = ui::openFiles(request);
        if (!multiple && paths.size() > 1)
            paths = paths.mid(0, 1);
    }
    // What the user chose in the dialog is granted (as for a control's own dialog).
    return QJsonArray::fromStringList(paths);
}

QJsonValue Worker::automation(const QJsonObject &m)
{
    if (!options.automation)
        raiseRuntime(ErrPermissionDenied, QStringLiteral("the automation API needs tessarix serve --automation"));
    const QString name = m.value(QStringLiteral("name")).toString();
    const QJsonArray args = m.value(QStringLiteral("args")).toArray();
    if (name == u"answerMessageBoxes") {
        ui::queueMessageBoxAnswers(strings(args.at(0)));
        return QJsonValue();
    }
    if (name == u"answerFileDialogs") {
        QList<QStringList> answers;
        for (const QJsonValue &a : args.at(0).toArray())
            answers << strings(a);
        ui::queueFileDialogAnswers(answers);
        return QJsonValue();
    }
    if (name == u"answerFolderDialogs") {
        ui::queueFolderDialogAnswers(strings(args.at(0)));
        return QJsonValue();
    }
    if (name == u"messageBoxes") {
        QJsonArray out;
        for (const ui::MessageBoxRecord &r : ui::messageBoxes())
            out.append(QJsonObject{{QStringLiteral("text"), r.text},
                                   {QStringLiteral("title"), r.title},
                                   {QStringLiteral("buttons"), ui::buttonsName(r.buttons)},
                                   {QStringLiteral("icon"), ui::iconName(r.icon)}});
        return out;
    }
    if (name == u"fileDialogs") {
        QJsonArray out;
        for (const ui::FileDialogRequest &r : ui::fileDialogs())
            out.append(QJsonObject{{QStringLiteral("filter"), r.filter},
                                   {QStringLiteral("flags"), r.flags},
                                   {QStringLiteral("maxFileSize"), r.maxFileSize}});
        return out;
    }
    if (name == u"child" || name == u"closeWindow") {
        Entry &e = entry(QJsonObject{{QStringLiteral("object"), args.at(0)}});
        if (name == u"closeWindow") {
            // As the user closes it: the page gets its closed event.
            if (e.window)
                e.window->close();
            return QJsonValue();
        }
        QObject *control = host::controlOf(e.dispatch);
        if (!control)
            raiseRuntime(ErrInvalidCall, QStringLiteral("%1 has no form").arg(QLatin1String(e.info->name)));
        const QPointer<EventRelay> relay = e.relay;  // the entry may go while a click's batch runs
        // What the action shows (a box) belongs to this control.
        const activity::Scope acting(control);
        const QJsonValue result = childAction(control, args);
        // What the action moved reaches the page before its reply, as for a call.
        if (relay)
            relay->flush();
        return result;
    }
    raiseRuntime(ErrNoSuchMember, QStringLiteral("automation.") + name);
}

void Worker::send(const char *kind, const QJsonValue &value)
{
    if (channel->state() != QLocalSocket::ConnectedState)
        return;
    channel->write(QJsonDocument(QJsonObject{{QLatin1String(kind), value}}).toJson(QJsonDocument::Compact) + '\n');
    channel->flush();
    if (channel->bytesToWrite() <= kMaxUnsent || held)
        return;
    // No further request is taken meanwhile: each would add its reply here.
    held = true;
    pump::until([this] { return channel->bytesToWrite() <= kMaxUnsent || channel->state() != QLocalSocket::ConnectedState; });
    held = false;
    if (!inbox.isEmpty())
        QMetaObject::invokeMethod(this, &Worker::drain, Qt::QueuedConnection);
}

void Worker::sendEvent(const QString &event, const QJsonObject &fields)
{
    if (!ending)
        send("event", QJsonDocument::fromJson(eventMessage(event, fields)).object());
}

// The session is over: every object is released and every window closes. A call
// still on the stack is abandoned with the process, never torn down under itself.
void Worker::end(bool report)
{
    if (ending)
        return;
    ending = true;
    const QList<int> ids = objects.keys();
    for (int id : ids)
        release(id);
    bool released = false;
    if (depth == 0) {
        for (int round = 0; round < 2; ++round)
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        const host::ServerLibrary *lib = host::loadServer(host::bundledLibraryPath(), nullptr);
        released = lib && lib->canUnloadNow() == S_OK;
    }
    // A call still running may hold documents open in the shared office: they
    // are closed and their copies removed now, as the call never returns.
    if (depth > 0)
        office::closeOfficeDocumentsBeforeLeaving();
    if (report) {
        send("ended", QJsonObject{{QStringLiteral("released"), released}, {QStringLiteral("callsInFlight"), depth}});
        pump::until([this] { return channel->bytesToWrite() == 0 || channel->state() != QLocalSocket::ConnectedState; });
    }
    ::_exit(0);
}

int workerMain(int argc, char **argv)
{
    WorkerOptions options;
    for (int i = 2; i < argc; ++i) {
        const QByteArray a = argv[i];
        if (a == "--origin" && i + 1 < argc)
            options.origin = QString::fromUtf8(argv[++i]);
        else if (a == "--automation")
            options.automation = true;
        else if (a == "--any-path")
            options.anyPath = true;
        else
            return 2;
    }
    if (options.automation && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ui::installQtTranslations();
    app.setQuitOnLastWindowClosed(false);
    ui::setInteractive(!options.automation);
    if (!options.automation)
        ui::setTitlePrefix(options.origin);
    QLocalSocket channel;
    if (!channel.setSocketDescriptor(3)) {
        qWarning("tessarix bridge-worker: no service socket on descriptor 3");
        return 1;
    }
    Worker worker(options, &channel);
    return app.exec();
}

} // namespace tx::bridge
