#include "bridge/EventRelay.h"

#include <QAbstractItemModel>
#include <QListWidget>
#include <QProgressBar>

namespace tx::bridge {

EventRelay::EventRelay(int objectId, QObject *control, Send sendFn)
    : QObject(control), object(objectId), send(std::move(sendFn))
{
    tick.setInterval(100);
    connect(&tick, &QTimer::timeout, this, &EventRelay::flush);
    tick.start();
    for (QProgressBar *bar : control->findChildren<QProgressBar *>()) {
        const QString name = bar->objectName();
        connect(bar, &QProgressBar::valueChanged, this, [this, name](int value) { pending[name] = value; });
    }
    for (QListWidget *list : control->findChildren<QListWidget *>()) {
        const QString name = list->objectName();
        QAbstractItemModel *model = list->model();
        connect(model, &QAbstractItemModel::rowsInserted, this, [this, name, model](const QModelIndex &, int first, int last) {
            flush(); // progress before the line that reports its end
            for (int row = first; row <= last; ++row)
                send(QStringLiteral("log"), {{QStringLiteral("object"), object},
                                             {QStringLiteral("child"), name},
                                             {QStringLiteral("text"), cut(model->index(row, 0).data().toString())}});
        });
    }
    // Found by its signal: the machinery lives in the component, which this
    // program loads at run time and does not link.
    for (QObject *child : control->findChildren<QObject *>()) {
        if (child->metaObject()->indexOfSignal("answerReceived(QString,QString,QString)") >= 0)
            connect(child, SIGNAL(answerReceived(QString,QString,QString)), this,
                    SLOT(onAnswer(QString,QString,QString)));
    }
}

void EventRelay::onAnswer(const QString &statusLine, const QString &firstBodyLine, const QString &file)
{
    flush();
    send(QStringLiteral("answer"), {{QStringLiteral("object"), object},
                                    {QStringLiteral("status"), statusLine},
                                    {QStringLiteral("line"), firstBodyLine},
                                    {QStringLiteral("file"), file}});
}

QString EventRelay::cut(const QString &text)
{
    constexpr qsizetype kKept = 4096;
    return text.size() > kKept ? text.left(kKept) + QStringLiteral("…") : text;
}

void EventRelay::flush()
{
    for (auto it = pending.cbegin(); it != pending.cend(); ++it) {
        if (sent.value(it.key(), INT_MIN) == it.value())
            continue;
        sent[it.key()] = it.value();
        send(QStringLiteral("progress"),
             {{QStringLiteral("object"), object}, {QStringLiteral("child"), it.key()}, {QStringLiteral("value"), it.value()}});
    }
    pending.clear();
}

} // namespace tx::bridge
