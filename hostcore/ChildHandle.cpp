#include "hostcore/ChildHandle.h"

#include "hostcore/DispatchBridge.h"
#include "hostcore/ScriptErrors.h"
#include "hostcore/WidgetActions.h"
#include "core/AutomationError.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSlider>
#include <QComboBox>
#include <QGroupBox>
#include <QJSEngine>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTextEdit>

namespace tx::host {

ChildHandle::ChildHandle(QWidget *widget, DispatchBridge *object)
    : widget(widget), object(object), objectName(widget->objectName())
{
}

QWidget *ChildHandle::live() const
{
    if (!widget) {
        if (QJSEngine *js = qjsEngine(this))
            throwScriptError(*js, runtimeError(ErrObjectNotSet, QStringLiteral("child control \"%1\" is gone").arg(objectName)));
    }
    return widget.data();
}

void ChildHandle::act(const std::function<void(QWidget *)> &action)
{
    QWidget *w = live();
    if (!w)
        return;
    const ObjectHold hold(object);
    try {
        action(w);
    } catch (const AutomationError &e) {
        if (QJSEngine *js = qjsEngine(this))
            throwScriptError(*js, e);
    }
}

QVariant ChildHandle::enabled() const
{
    QWidget *w = live();
    return w ? QVariant(w->isEnabled()) : QVariant();
}

QVariant ChildHandle::visible() const
{
    QWidget *w = live();
    if (!w)
        return {};
    // Not shown on a screen in the non-interactive host: visible means visible
    // within its control.
    return w->window()->isVisible() ? w->isVisible() : w->isVisibleTo(w->window());
}

QVariant ChildHandle::text() const
{
    QWidget *w = live();
    if (!w)
        return {};
    if (auto *b = qobject_cast<QAbstractButton *>(w)) return b->text();
    if (auto *l = qobject_cast<QLabel *>(w)) return l->text();
    if (auto *e = qobject_cast<QLineEdit *>(w)) return e->text();
    if (auto *e = qobject_cast<QTextEdit *>(w)) return e->toPlainText();
    if (auto *e = qobject_cast<QPlainTextEdit *>(w)) return e->toPlainText();
    if (auto *c = qobject_cast<QComboBox *>(w)) return c->currentText();
    if (auto *s = qobject_cast<QAbstractSpinBox *>(w)) return s->text();
    if (auto *g = qobject_cast<QGroupBox *>(w)) return g->title();
    if (auto *p = qobject_cast<QProgressBar *>(w)) return p->text();
    if (auto *l = qobject_cast<QListWidget *>(w)) return l->currentItem() ? l->currentItem()->text() : QString();
    return w->windowTitle();
}

QVariant ChildHandle::checked() const
{
    QWidget *w = live();
    if (auto *b = qobject_cast<QAbstractButton *>(w); b && b->isCheckable()) return b->isChecked();
    if (auto *g = qobject_cast<QGroupBox *>(w); g && g->isCheckable()) return g->isChecked();
    return {};
}

QVariant ChildHandle::currentIndex() const
{
    QWidget *w = live();
    if (auto *c = qobject_cast<QComboBox *>(w)) return c->currentIndex();
    if (auto *v = qobject_cast<QAbstractItemView *>(w)) return v->currentIndex().isValid() ? v->currentIndex().row() : -1;
    if (auto *t = qobject_cast<QTabWidget *>(w)) return t->currentIndex();
    if (auto *s = qobject_cast<QStackedWidget *>(w)) return s->currentIndex();
    return {};
}

QVariant ChildHandle::items() const
{
    QWidget *w = live();
    if (auto *c = qobject_cast<QComboBox *>(w)) {
        QStringList out;
        for (int i = 0; i < c->count(); ++i)
            out << c->itemText(i);
        return out;
    }
    if (auto *v = qobject_cast<QAbstractItemView *>(w))
        return itemTexts(v);
    return {};
}

QVariant ChildHandle::selectedIndexes() const
{
    QWidget *w = live();
    if (auto *c = qobject_cast<QComboBox *>(w))
        return c->currentIndex() < 0 ? QVariantList{} : QVariantList{c->currentIndex()};
    if (auto *v = qobject_cast<QAbstractItemView *>(w)) {
        QVariantList out;
        for (int row : selectedRows(v))
            out << row;
        return out;
    }
    return {};
}

QVariant ChildHandle::value() const
{
    QWidget *w = live();
    if (auto *p = qobject_cast<QProgressBar *>(w)) return p->value();
    if (auto *s = qobject_cast<QAbstractSlider *>(w)) return s->value();
    if (auto *s = qobject_cast<QSpinBox *>(w)) return s->value();
    return {};
}

QVariant ChildHandle::toolTip() const
{
    QWidget *w = live();
    return w ? QVariant(w->toolTip()) : QVariant();
}

QVariant ChildHandle::focused() const
{
    QWidget *w = live();
    if (!w)
        return {};
    return w->hasFocus() || w->window()->focusWidget() == w;
}

QVariant ChildHandle::selectedText() const
{
    QWidget *w = live();
    if (auto *e = qobject_cast<QLineEdit *>(w)) return e->selectedText();
    if (auto *e = qobject_cast<QTextEdit *>(w)) return e->textCursor().selectedText();
    if (auto *e = qobject_cast<QPlainTextEdit *>(w)) return e->textCursor().selectedText();
    if (auto *c = qobject_cast<QComboBox *>(w); c && c->lineEdit()) return c->lineEdit()->selectedText();
    return {};
}

QVariant ChildHandle::geometry() const
{
    QWidget *w = live();
    if (!w)
        return {};
    settleLayout(w);
    const QRect r = w->geometry();
    return QVariantMap{{QStringLiteral("left"), r.left()},
                       {QStringLiteral("top"), r.top()},
                       {QStringLiteral("width"), r.width()},
                       {QStringLiteral("height"), r.height()}};
}

void ChildHandle::click() { act(clickWidget); }
void ChildHandle::setText(const QString &text) { act([&](QWidget *w) { typeText(w, text); }); }
void ChildHandle::setChecked(bool on) { act([&](QWidget *w) { checkWidget(w, on); }); }
void ChildHandle::select(int index) { act([&](QWidget *w) { selectIndex(w, index); }); }
void ChildHandle::hover(int index) { act([&](QWidget *w) { hoverLine(w, index); }); }

void ChildHandle::setSelected(const QJSValue &indexes)
{
    QList<int> rows;
    const int n = indexes.property(QStringLiteral("length")).toInt();
    for (int i = 0; i < n; ++i)
        rows << indexes.property(quint32(i)).toInt();
    act([&](QWidget *w) { selectIndexes(w, rows); });
}

} // namespace tx::host
