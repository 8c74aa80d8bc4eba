#pragma once
// The screen-capture control: one pixel on the page. BeginScreenShot freezes the
// screen in the overlay (Form1), lets the user select a rectangle and uploads it
// as a JPEG; FileName then holds the server's answer, or empty.
#include <QWidget>

namespace tx {

// Scriptable members are Q_INVOKABLE methods and Q_PROPERTYs named exactly as the
// type library names them; the shell's dispatch reaches them by name.
class ScreenShot : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QString FileName READ FileName)
public:
    explicit ScreenShot(QWidget *parent = nullptr);

    // Returns when the overlay has closed. Errors (a refused grab, a busy overlay,
    // a bad upload URL) reach the caller with FileName empty.
    Q_INVOKABLE void BeginScreenShot(const QString &sf, const QString &pUrl, int contentid);
    QString FileName() const;
};

} // namespace tx
