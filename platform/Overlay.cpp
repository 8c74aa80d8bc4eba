#include "platform/Overlay.h"

#include "core/Records.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QWidget>

namespace tx {
namespace {

Qt::MouseButton qtButton(int button)
{
    switch (button) {
    case 1: return Qt::LeftButton;
    case 2: return Qt::RightButton;
    case 4: return Qt::MiddleButton;
    default: return Qt::NoButton;
    }
}

int qtKey(int code)
{
    switch (code) {
    case 27: return Qt::Key_Escape;
    case 13: return Qt::Key_Return;
    case 9: return Qt::Key_Tab;
    case 8: return Qt::Key_Backspace;
    default: break;
    }
    if (code >= 'a' && code <= 'z')
        return code - 'a' + 'A';
    if (code >= 32 && code < 127)
        return code;
    return Qt::Key_unknown;
}

struct Registry {
    overlay::Handler handler;
    QList<overlay::Record> records;
};

Registry &registry()
{
    static Registry r;
    return r;
}

} // namespace

OverlayHandle::OverlayHandle(QWidget *overlay) : QObject(overlay), window(overlay)
{
    setObjectName(QStringLiteral("OverlayHandle"));
}

bool OverlayHandle::isOpen() const { return window && window->isVisible(); }

bool OverlayHandle::sendMouse(int type, double x, double y, int button)
{
    if (!isOpen())
        return false;
    const Qt::MouseButton b = button == 0 ? Qt::NoButton : qtButton(button);
    if (button != 0 && b == Qt::NoButton)
        return false;
    if (type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick)
        held |= b;
    else if (type == QEvent::MouseButtonRelease)
        held &= ~int(b);
    const QPointF local(x, y);
    QMouseEvent e(QEvent::Type(type), local, window->mapToGlobal(local), b, Qt::MouseButtons(held),
                  Qt::NoModifier);
    QCoreApplication::sendEvent(window, &e);
    return true;
}

bool OverlayHandle::press(double x, double y, int button)
{
    return sendMouse(QEvent::MouseButtonPress, x, y, button);
}

bool OverlayHandle::move(double x, double y) { return sendMouse(QEvent::MouseMove, x, y, 0); }

bool OverlayHandle::release(double x, double y, int button)
{
    return sendMouse(QEvent::MouseButtonRelease, x, y, button);
}

bool OverlayHandle::doubleClick(double x, double y)
{
    // Each step checks again: the overlay may close in the middle.
    if (!press(x, y, 1) || !release(x, y, 1) || !sendMouse(QEvent::MouseButtonDblClick, x, y, 1))
        return false;
    release(x, y, 1); // a capture may already have closed the overlay
    return true;
}

bool OverlayHandle::key(int code)
{
    if (!isOpen())
        return false;
    const QString text = code > 0 && code < 0x10000 ? QString(QChar(char16_t(code))) : QString();
    QKeyEvent down(QEvent::KeyPress, qtKey(code), Qt::NoModifier, text);
    QCoreApplication::sendEvent(window, &down);
    if (window) {
        QKeyEvent up(QEvent::KeyRelease, qtKey(code), Qt::NoModifier, text);
        QCoreApplication::sendEvent(window, &up);
    }
    return true;
}

QVariantMap OverlayHandle::frame() const
{
    const QWidget *shape = window ? window->findChild<QWidget *>(QStringLiteral("Shape1")) : nullptr;
    if (!shape)
        return {{QStringLiteral("left"), 0}, {QStringLiteral("top"), 0}, {QStringLiteral("width"), 0},
                {QStringLiteral("height"), 0}, {QStringLiteral("visible"), false}};
    const QRect g = shape->geometry();
    return {{QStringLiteral("left"), g.left()},
            {QStringLiteral("top"), g.top()},
            {QStringLiteral("width"), g.width()},
            {QStringLiteral("height"), g.height()},
            {QStringLiteral("visible"), isOpen() && !shape->isHidden()}};
}

QString OverlayHandle::label() const
{
    const QLabel *l = window ? window->findChild<QLabel *>(QStringLiteral("LblPos")) : nullptr;
    return l ? l->text() : QString();
}

namespace overlay {

void setHandler(Handler handler) { registry().handler = std::move(handler); }
bool hasHandler() { return bool(registry().handler); }

void runHandler(OverlayHandle &handle)
{
    // A copy: the handler may replace itself while it runs.
    const Handler h = registry().handler;
    if (h)
        h(handle);
}

void record(const Record &r) { keepLatest(registry().records, r); }
QList<Record> records() { return registry().records; }

QString endingName(Ending e)
{
    switch (e) {
    case Ending::Captured: return QStringLiteral("captured");
    case Ending::Cancelled: return QStringLiteral("cancelled");
    case Ending::AutoCancelled: return QStringLiteral("cancelled (no handler)");
    case Ending::Failed: return QStringLiteral("failed");
    case Ending::Declined: return QStringLiteral("declined by the desktop");
    }
    return {};
}

void reset()
{
    registry().handler = nullptr;
    registry().records.clear();
}

} // namespace overlay
} // namespace tx
