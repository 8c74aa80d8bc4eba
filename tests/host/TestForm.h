#pragma once
// A control's form for the automation tests: one child of every kind the
// automation API reads and drives, with handlers that record what they saw.
#include "platform/Overlay.h"
#include "core/Pump.h"
#include "platform/Ui.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QDropEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace tx::test {

class TestForm : public QWidget {
    Q_OBJECT
public:
    TestForm()
    {
        setObjectName(QStringLiteral("TestForm"));
        auto *layout = new QVBoxLayout(this);
        auto add = [&](auto *w, const char *name) {
            w->setObjectName(QLatin1String(name));
            layout->addWidget(w);
            return w;
        };
        auto *go = add(new QPushButton(QStringLiteral("开始")), "btnBegin");
        txtStop = add(new QLineEdit, "txtStop");
        // A batch that runs until the page types "stop" (or a deadline passes),
        // pumping events meanwhile, as the import loops do.
        QObject::connect(go, &QPushButton::clicked, this, [this] {
            note(QStringLiteral("batch started"));
            QDeadlineTimer deadline(10000);
            QTimer wake;
            wake.start(20);
            const bool stood = pump::until(this, [&] { return txtStop->text() == u"stop" || deadline.hasExpired(); });
            note(stood ? QStringLiteral("batch ended") : QStringLiteral("batch abandoned"));
        });
        auto *ask = add(new QPushButton(QStringLiteral("Ask")), "btnAsk");
        QObject::connect(ask, &QPushButton::clicked, this, [this] {
            const int a = ui::messageBox(QStringLiteral("继续吗?"), ui::Buttons::YesNo, ui::Icon::Question);
            note(QStringLiteral("answer %1").arg(a));
        });
        auto *off = add(new QPushButton(QStringLiteral("Off")), "btnOff");
        off->setEnabled(false);
        QObject::connect(off, &QPushButton::clicked, this, [this] { note(QStringLiteral("disabled clicked")); });
        add(new QCheckBox(QStringLiteral("Stamp")), "chkStamp");
        auto *width = add(new QLineEdit(QStringLiteral("100")), "txtWidth");
        QObject::connect(width, &QLineEdit::textEdited, this,
                         [this](const QString &t) { note(QStringLiteral("edited ") + t); });
        auto *scale = add(new QComboBox, "cmbScale");
        scale->addItems({QStringLiteral("25%"), QStringLiteral("50%"), QStringLiteral("100%")});
        QObject::connect(scale, &QComboBox::activated, this,
                         [this](int i) { note(QStringLiteral("activated %1").arg(i)); });
        list = add(new QListWidget, "lstFileList");
        list->addItems({QStringLiteral("a.doc"), QStringLiteral("b.xls"), QStringLiteral("c.ppt")});
        list->setSelectionMode(QAbstractItemView::ExtendedSelection);
        list->setAcceptDrops(true);
        list->setMouseTracking(true); // the tool tip follows the pointer
        list->viewport()->installEventFilter(this);
        QObject::connect(list, &QListWidget::itemClicked, this,
                         [this](QListWidgetItem *i) { note(QStringLiteral("clicked ") + i->text()); });
        add(new QProgressBar, "pbFile")->setValue(40);
        auto *hidden = add(new QLabel(QStringLiteral("hidden")), "lblHidden");
        hidden->setVisible(false);
        resize(300, 400);
    }

    // A member that opens "an overlay": the page's onOverlay hook runs inside it.
    Q_INVOKABLE void Overlay()
    {
        OverlayHandle handle(this);
        overlay::runHandler(handle);
    }

    QStringList events;
    QStringList *sink = nullptr; // also gets every event, and outlives the form
    QStringList dropped;
    QLineEdit *txtStop;
    QListWidget *list;

protected:
    void note(const QString &event)
    {
        events << event;
        if (sink)
            *sink << event;
    }

    bool eventFilter(QObject *, QEvent *e) override
    {
        switch (e->type()) {
        case QEvent::DragEnter:
        case QEvent::DragMove: {
            auto *d = static_cast<QDropEvent *>(e);
            d->setAccepted(d->mimeData()->hasUrls());
            return true;
        }
        case QEvent::Drop: {
            auto *d = static_cast<QDropEvent *>(e);
            for (const QUrl &u : d->mimeData()->urls())
                dropped << u.toLocalFile();
            d->acceptProposedAction();
            return true;
        }
        case QEvent::MouseMove: {
            // The list's tool tip follows the line under the pointer.
            QListWidgetItem *item = list->itemAt(static_cast<QMouseEvent *>(e)->position().toPoint());
            list->setToolTip(item ? QStringLiteral("file ") + item->text() : QString());
            return false;
        }
        default: return false;
        }
    }
};

} // namespace tx::test
