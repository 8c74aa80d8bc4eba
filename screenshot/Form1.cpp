#include "screenshot/Form1.h"

#include "core/Activity.h"
#include "core/AutomationError.h"
#include "platform/FormLook.h"
#include "core/Pump.h"
#include "platform/ScreenGrab.h"
#include "core/TempFolder.h"
#include "platform/Ui.h"
#include "screenshot/ModuleJPG.h"
#include "upload/FileUpload.h"

#include <QFontMetricsF>
#include <QFrame>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>

namespace tx {
namespace {

Form1 *current = nullptr;
bool grabbing = false; // the desktop is asked for the screen: the capture has begun

void setRed(QWidget *w)
{
    QPalette p = w->palette();
    p.setColor(QPalette::WindowText, QColor(255, 0, 0));
    w->setPalette(p);
}

constexpr Qt::WindowFlags kOverlayFlags = Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                                          Qt::X11BypassWindowManagerHint;

} // namespace

Form1Fields &Form1::fields()
{
    static Form1Fields f;
    return f;
}

bool Form1::isOpen() { return current != nullptr || grabbing; }

// A window of its own, but a child of the control that opened it: its waits and its
// upload's end when the page releases that control.
Form1::Form1(QWidget *owner, QImage image, const QRect &screen)
    : QWidget(owner, kOverlayFlags), frozen(std::move(image))
{
    setObjectName(QStringLiteral("Form1"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setWindowModality(Qt::ApplicationModal);
    setFocusPolicy(Qt::StrongFocus);
    setFont(ui::cjkFont(12));
    // No window manager is assumed: the geometry is set here, not maximised.
    setGeometry(screen);

    Shape1 = new QFrame(this);
    Shape1->setObjectName(QStringLiteral("Shape1"));
    Shape1->setFrameStyle(QFrame::Box | QFrame::Plain);
    Shape1->setLineWidth(1);
    setRed(Shape1);
    Shape1->setAttribute(Qt::WA_TransparentForMouseEvents);
    Shape1->setGeometry(0, 0, 0, 0);
    Shape1->hide();

    LblPos = new QLabel(QStringLiteral("选区尺寸显示"), this);
    LblPos->setObjectName(QStringLiteral("LblPos"));
    LblPos->setMargin(0);
    LblPos->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setRed(LblPos);
    LblPos->setAttribute(Qt::WA_TransparentForMouseEvents);
    LblPos->adjustSize(); // sized for its first caption; later only moved
    LblPos->hide();

    // Outside the visible area (-10000 twips), so its progress bar never shows.
    FileUpload1 = new FileUpload(this);
    FileUpload1->setObjectName(QStringLiteral("FileUpload1"));
    FileUpload1->move(-667, 0);
}

Form1::~Form1()
{
    finish();
}

void Form1::showModal(QWidget *owner)
{
    if (isOpen())
        throw AutomationError(kErrBusy, QStringLiteral("ScreenShot"), QStringLiteral("控件正忙，请稍后再试。"));
    // The picture is taken before the overlay shows, so it is the screen as it was.
    QImage image;
    {
        grabbing = true;
        struct Done {
            ~Done() { grabbing = false; }
        } done;
        try {
            image = screen::grabPrimary(owner);
        } catch (const screen::GrabDeclined &e) {
            // The desktop said no (or nothing): a capture that ends like a cancel,
            // but the person learns why. A released control tells nobody.
            fields().FileName.clear();
            overlay::record({false, overlay::Ending::Declined});
            if (!e.description.isEmpty())
                ui::messageBox(e.description, ui::Buttons::OK, ui::Icon::Exclamation);
            return;
        }
    }
    Form1 window(owner, std::move(image), screen::primaryGeometry());
    current = &window;
    struct Clear {
        ~Clear() { current = nullptr; }
    } clear;
    overlay::Record rec;
    try {
        window.run(rec);
    } catch (...) {
        window.finish();
        fields().FileName.clear();
        rec.ending = overlay::Ending::Failed;
        overlay::record(rec);
        throw;
    }
    overlay::record(rec);
}

void Form1::open()
{
    Form1Fields &f = fields();
    f.strState = QStringLiteral("draw");
    QGuiApplication::setOverrideCursor(Qt::CrossCursor);
    cursorSet = true;
    screen::showOverPrimary(this);
    raise();
    activateWindow();
    setFocus(Qt::ActiveWindowFocusReason);
    if (ui::interactive()) {
        // An override-redirect window gets no input from a window manager.
        grabKeyboard();
        grabMouse();
    }
}

void Form1::run(overlay::Record &rec)
{
    open();
    auto *handle = new OverlayHandle(this);
    if (overlay::hasHandler()) {
        rec.handled = true;
        overlay::runHandler(*handle);
    } else if (!ui::interactive()) {
        cancel(); // nobody could ever close it
        rec.ending = overlay::Ending::AutoCancelled;
        return;
    }
    if (ui::interactive() && !pump::until(this, [this] { return finished || capturePending; }))
        capturePending = false; // released: nothing is saved or sent
    if (!activity::stands(this)) {
        cancel();
        rec.ending = overlay::Ending::AutoCancelled;
    } else if (capturePending) {
        rec.ending = overlay::Ending::Captured;
        capture();
        if (fields().FileName.isEmpty() && failedSave)
            rec.ending = overlay::Ending::Failed;
    } else if (!finished) {
        cancel();
        rec.ending = overlay::Ending::AutoCancelled;
    } else {
        rec.ending = overlay::Ending::Cancelled;
    }
}

void Form1::finish()
{
    if (finished)
        return;
    finished = true;
    if (cursorSet) {
        QGuiApplication::restoreOverrideCursor();
        cursorSet = false;
    }
    releaseKeyboard();
    releaseMouse();
    hide();
}

void Form1::cancel()
{
    fields().FileName.clear();
    finish();
}

void Form1::capture()
{
    pump::forMs(10);
    Shape1->hide();
    const selection::PixelRect rc = selection::pixelRect(frame);
    try {
        ScrnCap(rc.Left, rc.Top, rc.Right, rc.Bottom);
    } catch (const AutomationError &e) {
        // The page must never mistake the local path for an uploaded file.
        fields().FileName.clear();
        finish();
        if (e.number != kErrJpegSave)
            throw;
        failedSave = true;
        ui::messageBox(e.description, ui::Buttons::OK, ui::Icon::Critical);
        return;
    }
    finish();
}

void Form1::ScrnCap(int Left, int Top, int Right, int Bottom)
{
    Shape1->hide();
    LblPos->hide();
    pump::once();
    const QImage bitmap = ModuleJPG::copyRegion(frozen, QRect(Left, Top, Right - Left, Bottom - Top));
    Form1Fields &f = fields();
    temp::removeFile(f.FileName); // a failure shows up as a failed save
    ModuleJPG::SaveJpeg(bitmap, f.FileName);
    // The picture is cut from the frozen image: the desktop, the keyboard and the
    // pointer go back to the user before the upload, whose wait may be long and
    // whose error boxes must be reachable.
    finish();
    if (!f.FileName.isEmpty()) {
        FileUpload1->StartUpload(f.sf, f.pUrl, f.FileName, f.contentid);
        f.FileName = FileUpload1->NewFileName();
    }
    if (f.FileName == QLatin1String("Error"))
        f.FileName.clear();
}

void Form1::applyFrame()
{
    const selection::PixelRect rc = selection::pixelRect(frame);
    Shape1->setGeometry(rc.Left, rc.Top, rc.Right - rc.Left, rc.Bottom - rc.Top);
}

void Form1::centreLabel()
{
    const QFontMetricsF fm(LblPos->font());
    const QString caption = LblPos->text();
    const QPointF p = selection::labelPosition(frame, QSizeF(fm.horizontalAdvance(caption), fm.height()));
    LblPos->move(selection::nearest(p.x()), selection::nearest(p.y()));
}

void Form1::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.drawImage(QPointF(0, 0), frozen);
}

void Form1::mousePressEvent(QMouseEvent *e)
{
    if (!takesInput())
        return;
    Form1Fields &f = fields();
    const float x = float(e->position().x()), y = float(e->position().y());
    lastPressInside = false;
    if (f.strState == QLatin1String("move")) {
        f.rcSel = selection::pixelRect(frame);
        if (selection::inside(f.rcSel, x, y)) {
            f.sngGrabX = x;
            f.sngGrabY = y;
            lastPressInside = true;
            return;
        }
        f.strState = QStringLiteral("draw"); // the old frame is dropped
    } else {
        Shape1->show();
    }
    frame = {x, y, 0, 0};
    f.sngStartX = x;
    f.sngStartY = y;
    applyFrame();
}

void Form1::mouseMoveEvent(QMouseEvent *e)
{
    if (!takesInput() || e->buttons() != Qt::LeftButton)
        return;
    Form1Fields &f = fields();
    const float x = float(e->position().x()), y = float(e->position().y());
    Shape1->hide();
    LblPos->hide();
    if (f.strState == QLatin1String("draw")) {
        frame = selection::resized(frame, f.sngStartX, f.sngStartY, x, y);
        applyFrame();
        // The caption tells the frame as drawn and saved: Shape1's whole pixels.
        LblPos->setText(QString::number(Shape1->width()) + QLatin1Char('x') + QString::number(Shape1->height()));
        centreLabel();
        QGuiApplication::changeOverrideCursor(Qt::CrossCursor);
    } else {
        QGuiApplication::changeOverrideCursor(Qt::SizeAllCursor);
        frame = selection::moved(frame, f.sngStartX, f.sngStartY, f.sngGrabX, f.sngGrabY, x, y, float(width()),
                                 float(height()));
        applyFrame();
        centreLabel();
    }
    Shape1->show();
    LblPos->show();
}

void Form1::mouseReleaseEvent(QMouseEvent *e)
{
    if (!takesInput())
        return;
    Form1Fields &f = fields();
    if (e->button() == Qt::RightButton) {
        cancel();
    } else if (e->button() == Qt::LeftButton) {
        f.strState = QStringLiteral("move");
        f.sngStartX = frame.left;
        f.sngStartY = frame.top;
    }
}

void Form1::mouseDoubleClickEvent(QMouseEvent *e)
{
    if (!takesInput())
        return;
    if (e->button() != Qt::LeftButton) {
        mousePressEvent(e); // only the left button's double-click means "capture"
        return;
    }
    // The double-click stands for the second press; the first one decides.
    if (lastPressInside)
        capturePending = true;
}

void Form1::keyPressEvent(QKeyEvent *e)
{
    if (takesInput() && (e->key() == Qt::Key_Escape || e->text() == QLatin1String("\x1b")))
        cancel();
}

void Form1::closeEvent(QCloseEvent *e)
{
    if (capturePending && !finished) {
        e->ignore(); // the upload is under way
        return;
    }
    if (!finished)
        cancel();
    e->accept();
}

} // namespace tx
