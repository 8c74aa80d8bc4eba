#pragma once
// The capture overlay: a frameless full-screen window over the primary screen that
// shows the screen as it was when the capture began, lets the user draw and move a
// selection frame, and on a double-click inside it saves and uploads the selection.
#include "platform/Overlay.h"
#include "screenshot/SelectionGeometry.h"

#include <QImage>
#include <QString>
#include <QWidget>

class QFrame;
class QLabel;

namespace tx {

class FileUpload;

// The overlay's fields: one set per loaded component, created on first use, and
// kept after the window closes so that FileName can be read.
struct Form1Fields {
    QString FileName; // in: the JPEG path; out: the server's answer or empty
    QString sf;
    QString pUrl;
    int contentid = 0;
    QString strState = QStringLiteral("draw");
    float sngStartX = 0, sngStartY = 0;
    float sngGrabX = 0, sngGrabY = 0;
    selection::PixelRect rcSel;
};

class Form1 : public QWidget {
    Q_OBJECT
public:
    static Form1Fields &fields();
    static bool isOpen();

    // Grabs the screen, shows the overlay modally and returns when it has closed
    // (after a cancel or a capture). A refused grab fails before anything shows;
    // kErrBusy while an overlay is already open. Other errors close the overlay,
    // leave FileName empty and pass to the caller.
    // `owner` is the control: the overlay ends, quietly, once the page releases it.
    static void showModal(QWidget *owner);

    // Saves the rectangle of the frozen screen as the JPEG FileName names, closes
    // the overlay (grabs released, cursor restored) and then uploads the JPEG
    // through FileUpload1; FileName becomes the answer, or empty.
    void ScrnCap(int Left, int Top, int Right, int Bottom);

protected:
    void paintEvent(QPaintEvent *e) override;
    void mousePressEvent(QMouseEvent *e) override;
    void mouseMoveEvent(QMouseEvent *e) override;
    void mouseReleaseEvent(QMouseEvent *e) override;
    void mouseDoubleClickEvent(QMouseEvent *e) override;
    void keyPressEvent(QKeyEvent *e) override;
    void closeEvent(QCloseEvent *e) override;

private:
    Form1(QWidget *owner, QImage frozen, const QRect &screen);
    ~Form1() override;

    void open();
    void run(overlay::Record &rec);
    void capture();
    void cancel();
    void finish();
    void applyFrame();
    void centreLabel();
    bool takesInput() const { return !finished && !capturePending; }

    QImage frozen;
    QFrame *Shape1 = nullptr;
    QLabel *LblPos = nullptr;
    FileUpload *FileUpload1 = nullptr;
    selection::Frame frame;
    bool lastPressInside = false;
    bool capturePending = false;
    bool failedSave = false;
    bool finished = false;
    bool cursorSet = false;
};

} // namespace tx
