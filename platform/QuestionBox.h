#pragma once
// A question box that does not hold up its caller: a service keeps serving while
// the user makes up their mind. Shown when interactive (ui::setInteractive);
// otherwise its twin keeps the question open until a test answers it here.
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

namespace tx::ui {

// Shows `text` with one button per label (`defaultButton` is the default) and
// calls `answered` once with the chosen button's index, or with `fallback` when
// the box is closed otherwise or nobody answers within `timeoutMs`. Returns the
// question's number.
int askLater(const QString &title, const QString &text, const QStringList &buttons, int defaultButton, int fallback,
             int timeoutMs, std::function<void(int)> answered);

// Takes the question off the screen unanswered: `answered` is never called.
void withdrawQuestion(int question);

struct QuestionRecord {
    int number = 0;
    QString title;
    QString text;
    QStringList buttons;
    int defaultButton = -1;
};
// The questions waiting for an answer, oldest first.
QList<QuestionRecord> openQuestions();
// Answers as a click on button `index` does, or as closing the box does (-1).
// False when the question is not open.
bool answerQuestion(int question, int index);

} // namespace tx::ui
