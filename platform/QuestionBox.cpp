#include "platform/QuestionBox.h"

#include "platform/BoxTitle.h"

#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <memory>

namespace tx::ui {

void askLater(const QString &title, const QString &text, const QStringList &buttons, int defaultButton, int fallback,
              int timeoutMs, std::function<void(int)> answered)
{
    auto *box = new QMessageBox(QMessageBox::Question, title, QString());
    box->setTextFormat(Qt::PlainText);
    box->setText(text);
    box->setAttribute(Qt::WA_DeleteOnClose);
    QList<QAbstractButton *> made;
    for (int i = 0; i < buttons.size(); ++i) {
        QPushButton *b = box->addButton(buttons[i], i == fallback ? QMessageBox::RejectRole : QMessageBox::AcceptRole);
        made << b;
        if (i == defaultButton)
            box->setDefaultButton(b);
    }
    if (fallback >= 0 && fallback < made.size())
        box->setEscapeButton(made[fallback]);
    auto once = std::make_shared<std::function<void(int)>>(std::move(answered));
    auto answer = [once](int index) {
        if (!*once)
            return;
        auto f = std::move(*once);
        *once = nullptr;
        f(index);
    };
    QObject::connect(box, &QMessageBox::buttonClicked, box, [answer, made](QAbstractButton *b) {
        const qsizetype i = made.indexOf(b);
        answer(int(i));
    });
    QObject::connect(box, &QObject::destroyed, [answer, fallback] { answer(fallback); });
    QTimer::singleShot(timeoutMs, box, [box] { box->close(); });
    fitTitle(*box);
    box->open();
}

} // namespace tx::ui
