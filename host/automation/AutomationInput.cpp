#include "host/automation/AutomationInput.h"

#include "host/automation/AutomationControls.h"
#include "hostcore/DispatchBridge.h"
#include "host/PageHost.h"
#include "core/AutomationError.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QClipboard>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

namespace tx::host {
namespace {

QList<QUrl> fileUrls(const QJSValue &paths)
{
    QList<QUrl> urls;
    const int n = paths.property(QStringLiteral("length")).toInt();
    for (int i = 0; i < n; ++i)
        urls << QUrl::fromLocalFile(paths.property(quint32(i)).toString());
    return urls;
}

QMimeData *fileList(const QList<QUrl> &urls)
{
    auto *mime = new QMimeData;
    mime->setUrls(urls); // text/uri-list
    QByteArray copied("copy");
    for (const QUrl &u : urls)
        copied += '\n' + u.toEncoded();
    mime->setData(QStringLiteral("x-special/gnome-copied-files"), copied);
    return mime;
}

} // namespace

bool AutomationInput::dropFiles(const QJSValue &control, const QString &childName, const QJSValue &paths)
{
    if (!paths.isArray()) {
        raise(runtimeError(ErrTypeMismatch, QStringLiteral("dropFiles needs an array of paths")));
        return false;
    }
    QWidget *target = nullptr;
    try {
        target = childWidget(host, control, childName);
    } catch (const AutomationError &e) {
        raise(e);
        return false;
    }
    // A list's items live in its viewport, which is where a drop lands.
    if (auto *area = qobject_cast<QAbstractScrollArea *>(target))
        target = area->viewport();
    const ObjectHold hold(host.bridgeOf(control));
    const std::unique_ptr<QMimeData> mime(fileList(fileUrls(paths)));
    const QPoint at = target->rect().center();
    const Qt::DropActions actions = Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;

    QDragEnterEvent enter(at, actions, mime.get(), Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    if (!enter.isAccepted())
        return false;
    QDragMoveEvent move(at, actions, mime.get(), Qt::NoButton, Qt::NoModifier);
    move.setDropAction(enter.dropAction());
    QApplication::sendEvent(target, &move);
    if (!move.isAccepted())
        return false;
    QDropEvent drop(QPointF(at), actions, mime.get(), Qt::NoButton, Qt::NoModifier);
    drop.setDropAction(move.dropAction());
    QApplication::sendEvent(target, &drop);
    return drop.isAccepted();
}

void AutomationInput::setClipboardFiles(const QJSValue &paths)
{
    if (!paths.isArray())
        return raise(runtimeError(ErrTypeMismatch, QStringLiteral("setClipboardFiles needs an array of paths")));
    QGuiApplication::clipboard()->setMimeData(fileList(fileUrls(paths)));
}

void AutomationInput::setClipboardText(const QString &text) { QGuiApplication::clipboard()->setText(text); }

} // namespace tx::host
