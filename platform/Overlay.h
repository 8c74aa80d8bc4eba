#pragma once
// The automation hook of the screen-capture overlay. When the overlay opens it
// hands an OverlayHandle to the registered handler, which drives it the way a
// person would; without a handler a non-interactive overlay cancels at once.
//
// Wiring it to page scripts (the host's automation.onOverlay(fn)):
//
//   tx::overlay::setHandler([engine, fn](tx::OverlayHandle &h) {
//       const QJSValue r = fn.call({engine->newQObject(&h)});
//       if (r.isError())
//           throw tx::AutomationError(tx::ErrAutomation, "onOverlay", r.toString());
//   });
//
// The handle is a child of the overlay window, so the engine never owns it; it is
// deleted with the window when BeginScreenShot returns. The handler runs
// synchronously inside BeginScreenShot, once the overlay shows; what it throws
// closes the overlay and reaches BeginScreenShot's caller. Once the overlay has
// closed (Esc, right click, a capture) the methods return false and frame reads
// as not visible. A double-click inside the frame only marks the capture: the
// save and the upload run after the handler returns, and a non-interactive
// overlay that the handler leaves open is cancelled then.
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QVariantMap>
#include <functional>

class QWidget;

namespace tx {

class OverlayHandle : public QObject {
    Q_OBJECT
    // {left, top, width, height, visible} of the selection frame ("Shape1").
    Q_PROPERTY(QVariantMap frame READ frame)
    // The caption of the size label ("LblPos").
    Q_PROPERTY(QString label READ label)
public:
    // `overlay` is the overlay window; the handle becomes its child.
    explicit OverlayHandle(QWidget *overlay);

    // Positions are the overlay's (= the screen's) logical pixels. Buttons: 1 left,
    // 2 right, 4 middle. Each returns false, delivering nothing, when the overlay
    // has closed or the button is not one of those.
    Q_INVOKABLE bool press(double x, double y, int button = 1);
    // Moves with the buttons that this handle holds pressed.
    Q_INVOKABLE bool move(double x, double y);
    Q_INVOKABLE bool release(double x, double y, int button = 1);
    // What a person's double-click delivers: press, release, double-click, release.
    Q_INVOKABLE bool doubleClick(double x, double y);
    // A key press and release by character code (27 is Esc, 13 Enter).
    Q_INVOKABLE bool key(int code);

    QVariantMap frame() const;
    QString label() const;
    bool isOpen() const;

private:
    bool sendMouse(int type, double x, double y, int button);

    QPointer<QWidget> window;
    int held = 0; // Qt::MouseButtons this handle holds down
};

namespace overlay {

using Handler = std::function<void(OverlayHandle &)>;

// The one handler (the host's automation.onOverlay); an empty one removes it.
void setHandler(Handler handler);
bool hasHandler();
// Runs the handler; the overlay calls this once it is shown.
void runHandler(OverlayHandle &handle);

// How each opening ended, in order, for tests and the host's record.
// Declined: the desktop gave no picture (refused, no portal, no answer), so the
// overlay never showed.
enum class Ending { Captured, Cancelled, AutoCancelled, Failed, Declined };
struct Record {
    bool handled = false; // a handler ran
    Ending ending = Ending::Cancelled;
};
void record(const Record &r);
QList<Record> records();
QString endingName(Ending e);
// Forgets the records and the handler (tests).
void reset();

} // namespace overlay
} // namespace tx
