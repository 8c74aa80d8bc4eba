#include "platform/QuestionBox.h"

#include "platform/BoxTitle.h"
#include "platform/Ui.h"

#include <QApplication>
#include <QMap>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <memory>
#include <optional>

namespace tx::ui {
namespace {

struct Question {
    QuestionRecord record;
    int fallback = -1;
    std::function<void(int)> answered;
    QPointer<QMessageBox> box;
    std::unique_ptr<QTimer> deadline;
};

QMap<int, std::shared_ptr<Question>> &open()
{
    static QMap<int, std::shared_ptr<Question>> questions;
    return questions;
}

// Ends the question once, answered (index) or withdrawn (no call).
void settle(int number, std::optional<int> index)
{
    const std::shared_ptr<Question> q = open().take(number);
    if (!q)
        return;
    if (q->deadline) {
        q->deadline->stop();
        q->deadline.release()->deleteLater(); // may be the one signalling
    }
    if (q->box)
        q->box->close();
    if (index)
        q->answered(*index);
}

void show(int number, Question &q)
{
    auto *box = new QMessageBox(QMessageBox::Question, q.record.title, QString());
    box->setTextFormat(Qt::PlainText);
    box->setText(q.record.text);
    box->setAttribute(Qt::WA_DeleteOnClose);
    QList<QAbstractButton *> made;
    for (int i = 0; i < q.record.buttons.size(); ++i) {
        QPushButton *b = box->addButton(q.record.buttons[i], i == q.fallback ? QMessageBox::RejectRole : QMessageBox::AcceptRole);
        made << b;
        if (i == q.record.defaultButton)
            box->setDefaultButton(b);
    }
    if (q.fallback >= 0 && q.fallback < made.size())
        box->setEscapeButton(made[q.fallback]);
    QObject::connect(box, &QMessageBox::buttonClicked, box, [number, made](QAbstractButton *b) {
        // The box closes itself after a click.
        if (const auto q = open().value(number))
            q->box = nullptr;
        settle(number, int(made.indexOf(b)));
    });
    const int fallback = q.fallback;
    QObject::connect(box, &QObject::destroyed, [number, fallback] {
        // The box is half gone: no call on it any more.
        if (const auto q = open().value(number))
            q->box = nullptr;
        settle(number, fallback);
    });
    fitTitle(*box);
    q.box = box;
    box->open();
}

} // namespace

int askLater(const QString &title, const QString &text, const QStringList &buttons, int defaultButton, int fallback,
             int timeoutMs, std::function<void(int)> answered)
{
    static int last = 0;
    const int number = ++last;
    auto q = std::make_shared<Question>();
    q->record = {number, title, text, buttons, defaultButton};
    q->fallback = fallback;
    q->answered = std::move(answered);
    q->deadline = std::make_unique<QTimer>();
    q->deadline->setSingleShot(true);
    QObject::connect(q->deadline.get(), &QTimer::timeout, [number, fallback] { settle(number, fallback); });
    q->deadline->start(timeoutMs);
    open().insert(number, q);
    if (interactive() && qobject_cast<QApplication *>(QCoreApplication::instance()))
        show(number, *q);
    return number;
}

void withdrawQuestion(int question) { settle(question, std::nullopt); }

QList<QuestionRecord> openQuestions()
{
    QList<QuestionRecord> out;
    for (const auto &q : std::as_const(open()))
        out << q->record;
    return out;
}

bool answerQuestion(int question, int index)
{
    const auto it = open().constFind(question);
    if (it == open().cend())
        return false;
    settle(question, index < 0 ? (*it)->fallback : index);
    return true;
}

} // namespace tx::ui
