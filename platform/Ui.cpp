#include "platform/Ui.h"

#include "core/Activity.h"
#include "core/PathGrants.h"
#include "core/Records.h"
#include "platform/BoxTitle.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QTextStream>
#include <cstdio>

namespace tx::ui {
namespace {

struct State {
    bool interactive = false;
    bool echo = false;
    QString titlePrefix;
    QStringList boxAnswers;
    QList<QStringList> fileAnswers;
    QStringList folderAnswers;
    QList<MessageBoxRecord> boxes;
    QList<FileDialogRequest> dialogs;
    int folders = 0;
    std::function<void(const MessageBoxRecord &)> observer;
};

State &state()
{
    static State s;
    return s;
}

int defaultAnswer(Buttons b)
{
    switch (b) {
    case Buttons::YesNo:
    case Buttons::YesNoCancel: return IDYES;
    default: return IDOK;
    }
}

int parseAnswer(const QString &s, Buttons b)
{
    const QString a = s.trimmed().toLower();
    if (a == u"ok") return IDOK;
    if (a == u"cancel") return IDCANCEL;
    if (a == u"yes") return IDYES;
    if (a == u"no") return IDNO;
    return defaultAnswer(b);
}

int showReal(const MessageBoxRecord &r)
{
    QMessageBox box;
    box.setWindowTitle(r.title);
    box.setTextFormat(Qt::PlainText); // the text may hold a server's answer: never markup
    box.setText(r.text);
    switch (r.icon) {
    case Icon::Critical: box.setIcon(QMessageBox::Critical); break;
    case Icon::Question: box.setIcon(QMessageBox::Question); break;
    case Icon::Exclamation: box.setIcon(QMessageBox::Warning); break;
    case Icon::Information: box.setIcon(QMessageBox::Information); break;
    case Icon::None: break;
    }
    switch (r.buttons) {
    case Buttons::OK: box.setStandardButtons(QMessageBox::Ok); break;
    case Buttons::OKCancel: box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel); break;
    case Buttons::YesNo: box.setStandardButtons(QMessageBox::Yes | QMessageBox::No); break;
    case Buttons::YesNoCancel:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        break;
    }
    fitTitle(box);
    switch (box.exec()) {
    case QMessageBox::Cancel: return IDCANCEL;
    case QMessageBox::Yes: return IDYES;
    case QMessageBox::No: return IDNO;
    case QMessageBox::Ok: return IDOK;
    default: return r.buttons == Buttons::OK ? IDOK : IDCANCEL;
    }
}

// "All Image File|*.jpg;*.bmp|..." to Qt's "All Image File (*.jpg *.bmp);;...".
QString qtFilter(const QString &filter)
{
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList out;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString patterns = parts[i + 1];
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        out << parts[i] + QStringLiteral(" (") + patterns + QLatin1Char(')');
    }
    return out.join(QStringLiteral(";;"));
}

QString prefixed(const QString &title)
{
    const QString &prefix = state().titlePrefix;
    if (prefix.isEmpty())
        return title;
    return title.isEmpty() ? prefix : prefix + QStringLiteral(" — ") + title;
}

// The busy rules live below the desktop; their notice to a person is a box.
[[maybe_unused]] const bool busyNoticeInstalled = [] {
    activity::setBusyNotice([](const QString &text) { messageBox(text); });
    return true;
}();

} // namespace

QString defaultTitle() { return QStringLiteral("Tessarix5"); }

int messageBox(const QString &text, Buttons buttons, Icon icon, const QString &title)
{
    // A control whose last reference went finishes quietly: nobody is asked
    // anything on its behalf, and nothing goes on from a box that was not shown.
    if (activity::quiet())
        return buttons == Buttons::OK ? IDOK : buttons == Buttons::YesNo ? IDNO : IDCANCEL;
    State &s = state();
    MessageBoxRecord r{text, prefixed(title.isEmpty() ? defaultTitle() : title), buttons, icon, IDOK};
    if (s.interactive && qobject_cast<QApplication *>(QCoreApplication::instance())) {
        r.answer = showReal(r);
    } else if (!s.boxAnswers.isEmpty()) {
        r.answer = parseAnswer(s.boxAnswers.takeFirst(), buttons);
    } else {
        r.answer = defaultAnswer(buttons);
    }
    keepLatest(s.boxes, r);
    if (s.observer) {
        MessageBoxRecord told = r;
        told.title = title.isEmpty() ? defaultTitle() : title;
        s.observer(told);
    }
    if (s.echo && !s.interactive) {
        QTextStream err(stderr);
        err << "[message box] " << r.title << ": " << r.text << Qt::endl;
    }
    return r.answer;
}

namespace {

// What the user picked may be read from then on.
template <typename Paths>
Paths granted(Paths paths)
{
    if (PathGrants *grants = PathGrants::installed())
        grants->grantAll(QStringList(paths));
    return paths;
}

} // namespace

QStringList openFiles(const FileDialogRequest &request)
{
    State &s = state();
    keepLatest(s.dialogs, request);
    if (s.interactive && qobject_cast<QApplication *>(QCoreApplication::instance()))
        return granted(QFileDialog::getOpenFileNames(nullptr, prefixed({}), QString(), qtFilter(request.filter)));
    if (s.fileAnswers.isEmpty())
        return {};
    return granted(s.fileAnswers.takeFirst());
}

QString browseForFolder()
{
    State &s = state();
    ++s.folders;
    if (s.interactive && qobject_cast<QApplication *>(QCoreApplication::instance()))
        return granted(QFileDialog::getExistingDirectory(nullptr, prefixed({})));
    if (s.folderAnswers.isEmpty())
        return {};
    QString f = s.folderAnswers.takeFirst();
    while (f.size() > 1 && f.endsWith(QLatin1Char('/')))
        f.chop(1);
    return granted(f);
}

void setBoxObserver(std::function<void(const MessageBoxRecord &)> observer) { state().observer = std::move(observer); }

QString answerName(int answer)
{
    switch (answer) {
    case IDOK: return QStringLiteral("OK");
    case IDCANCEL: return QStringLiteral("Cancel");
    case IDYES: return QStringLiteral("Yes");
    case IDNO: return QStringLiteral("No");
    default: return QString::number(answer);
    }
}

void setInteractive(bool on) { state().interactive = on; }
bool interactive() { return state().interactive; }
void setEcho(bool on) { state().echo = on; }
void setTitlePrefix(const QString &prefix) { state().titlePrefix = prefix; }
void queueMessageBoxAnswers(const QStringList &answers) { state().boxAnswers += answers; }
void queueFileDialogAnswers(const QList<QStringList> &answers) { state().fileAnswers += answers; }
void queueFolderDialogAnswers(const QStringList &answers) { state().folderAnswers += answers; }
QList<MessageBoxRecord> messageBoxes() { return state().boxes; }
QList<FileDialogRequest> fileDialogs() { return state().dialogs; }
int folderDialogCount() { return state().folders; }

void reset()
{
    const bool interactive = state().interactive;
    const bool echo = state().echo;
    const QString prefix = state().titlePrefix;
    auto observer = std::move(state().observer);
    state() = State{};
    state().observer = std::move(observer);
    state().interactive = interactive;
    state().echo = echo;
    state().titlePrefix = prefix;
}

QString buttonsName(Buttons b)
{
    switch (b) {
    case Buttons::OK: return QStringLiteral("OK");
    case Buttons::OKCancel: return QStringLiteral("OKCancel");
    case Buttons::YesNo: return QStringLiteral("YesNo");
    case Buttons::YesNoCancel: return QStringLiteral("YesNoCancel");
    }
    return {};
}

QString iconName(Icon i)
{
    switch (i) {
    case Icon::None: return {};
    case Icon::Critical: return QStringLiteral("critical");
    case Icon::Question: return QStringLiteral("question");
    case Icon::Exclamation: return QStringLiteral("exclamation");
    case Icon::Information: return QStringLiteral("information");
    }
    return {};
}

} // namespace tx::ui
