#pragma once
// Message boxes and the file and folder pickers. Non-interactive by default: every
// box and dialog takes a queued answer or its default and is recorded, so nothing
// waits for a person; setInteractive(true) shows the real thing.
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

namespace tx::ui {

enum class Buttons { OK, OKCancel, YesNo, YesNoCancel };
enum class Icon { None, Critical, Question, Exclamation, Information };
enum Answer { IDOK = 1, IDCANCEL = 2, IDYES = 6, IDNO = 7 };

// The title of a box that has none of its own.
QString defaultTitle();

// Shows a box; an empty title means the default title. Returns an Answer.
int messageBox(const QString &text, Buttons buttons = Buttons::OK, Icon icon = Icon::None,
               const QString &title = {});

struct FileDialogRequest {
    QString filter;   // "caption|patterns|caption|patterns..."
    int flags = 0;    // the open-file flags as the control sets them
    int maxFileSize = 0;
};
// The chosen files as full paths; empty when cancelled.
QStringList openFiles(const FileDialogRequest &request);
// The chosen folder, without a trailing separator; empty when cancelled.
QString browseForFolder();

struct MessageBoxRecord {
    QString text;
    QString title;
    Buttons buttons = Buttons::OK;
    Icon icon = Icon::None;
    int answer = IDOK;
};

// Told of every box once it is answered, with the title its caller gave (no prefix).
void setBoxObserver(std::function<void(const MessageBoxRecord &)> observer);
// The answer's name: "OK", "Cancel", "Yes", "No".
QString answerName(int answer);

void setInteractive(bool on);
bool interactive();
// Put before every real box's and dialog's title (the page's origin in the
// browser bridge, so a page cannot pass its box off as the system's).
void setTitlePrefix(const QString &prefix);
// Print each box to standard error as it is answered (the page host does).
void setEcho(bool on);

void queueMessageBoxAnswers(const QStringList &answers); // "OK", "Cancel", "Yes", "No"
void queueFileDialogAnswers(const QList<QStringList> &answers);
void queueFolderDialogAnswers(const QStringList &answers);
QList<MessageBoxRecord> messageBoxes();
QList<FileDialogRequest> fileDialogs();
int folderDialogCount();
// Forgets queues and records (tests).
void reset();

QString buttonsName(Buttons b);
QString iconName(Icon i);

} // namespace tx::ui
