#pragma once
// The file list of the office import form and the loop that imports it: add and
// delete buttons, files dropped on the list, the tool tip of the line under the
// pointer, start and cancel.
#include <QObject>
#include <QString>

class QListWidgetItem;

namespace tx {

class OfficeImport;
struct OfficeImportForm;

class ImportLoop : public QObject {
    Q_OBJECT
public:
    ImportLoop(OfficeImport &control, const OfficeImportForm &form, QObject *parent);

    static const QString kFilter;
    static constexpr int kFlags = 524800; // explorer style, several files
    static constexpr int kMaxFileSize = 4096;

    // Appends the trimmed path unless it is empty or already listed.
    void AddFileToList(const QString &path);

    // The user's actions.
    void addFiles();       // Command1
    void deleteSelected(); // Command2
    void start();          // Command3
    void cancel();         // Command4

    // The loop runs (also after cancel, until the current file is done).
    bool active() const { return looping; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void runLoop();
    void importOne(int row);
    void setImporting(bool importing);
    // The line of `path` done (marked) or failed (its own text back).
    void finishLine(int row, const QString &path, bool done);
    void showToolTipAt(const QPoint &viewportPos);

    OfficeImport &control;
    const OfficeImportForm &ui;
    bool looping = false;
};

} // namespace tx
