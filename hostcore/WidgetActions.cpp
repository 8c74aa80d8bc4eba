#include "hostcore/WidgetActions.h"

#include "core/AutomationError.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLayout>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QSpinBox>
#include <QTabWidget>
#include <QTextEdit>

namespace tx::host {
namespace {

[[noreturn]] void cannot(QWidget *w, const char *what)
{
    raiseRuntime(ErrInvalidCall, QStringLiteral("%1 cannot %2").arg(w->objectName(), QLatin1String(what)));
}

bool reachable(QWidget *w) { return w->isEnabled() && w->isVisibleTo(w->window()); }

void sendMouse(QWidget *target, QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons buttons)
{
    QMouseEvent e(type, QPointF(at), QPointF(target->mapToGlobal(at)), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(target, &e);
}

QModelIndex rowIndex(QAbstractItemView *view, int row)
{
    QAbstractItemModel *model = view->model();
    if (!model || row < 0 || row >= model->rowCount(view->rootIndex()))
        raiseRuntime(ErrSubscript, QStringLiteral("%1 has no line %2").arg(view->objectName()).arg(row));
    return model->index(row, 0, view->rootIndex());
}

void typeInto(QLineEdit *e, const QString &text)
{
    e->setFocus(Qt::OtherFocusReason);
    e->selectAll();
    // insert()/backspace() go through the editing path, so textEdited fires.
    if (text.isEmpty())
        e->backspace();
    else
        e->insert(text);
}

} // namespace

void clickWidget(QWidget *w)
{
    if (!reachable(w))
        return;
    if (auto *b = qobject_cast<QAbstractButton *>(w)) {
        b->click();
        return;
    }
    const QPoint at = w->rect().center();
    sendMouse(w, QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton);
    sendMouse(w, QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton);
}

void typeText(QWidget *w, const QString &text)
{
    if (auto *e = qobject_cast<QLineEdit *>(w))
        return typeInto(e, text);
    if (auto *c = qobject_cast<QComboBox *>(w); c && c->lineEdit())
        return typeInto(c->lineEdit(), text);
    if (auto *s = qobject_cast<QAbstractSpinBox *>(w)) {
        auto *e = s->findChild<QLineEdit *>();
        if (!e)
            cannot(w, "take typing");
        typeInto(e, text);
        s->interpretText();
        return;
    }
    if (auto *e = qobject_cast<QTextEdit *>(w)) {
        e->setFocus(Qt::OtherFocusReason);
        e->selectAll();
        e->insertPlainText(text);
        return;
    }
    if (auto *e = qobject_cast<QPlainTextEdit *>(w)) {
        e->setFocus(Qt::OtherFocusReason);
        e->selectAll();
        e->insertPlainText(text);
        return;
    }
    cannot(w, "take typing");
}

void checkWidget(QWidget *w, bool on)
{
    if (auto *b = qobject_cast<QAbstractButton *>(w); b && b->isCheckable()) {
        if (b->isChecked() != on)
            clickWidget(b); // an option button cannot be cleared by a click, as for a person
        return;
    }
    if (auto *g = qobject_cast<QGroupBox *>(w); g && g->isCheckable()) {
        if (g->isChecked() != on && reachable(g)) {
            g->setChecked(on);
            Q_EMIT g->clicked(on);
        }
        return;
    }
    cannot(w, "be checked");
}

void selectIndex(QWidget *w, int index)
{
    if (!reachable(w))
        return;
    if (auto *c = qobject_cast<QComboBox *>(w)) {
        if (index < -1 || index >= c->count())
            raiseRuntime(ErrSubscript, QStringLiteral("%1 has no line %2").arg(w->objectName()).arg(index));
        c->setCurrentIndex(index);
        if (index >= 0) {
            Q_EMIT c->activated(index);
            Q_EMIT c->textActivated(c->itemText(index));
        }
        return;
    }
    if (auto *t = qobject_cast<QTabWidget *>(w)) {
        t->setCurrentIndex(index);
        return;
    }
    if (auto *v = qobject_cast<QAbstractItemView *>(w)) {
        if (index == -1) {
            v->selectionModel()->clear();
            return;
        }
        const QModelIndex idx = rowIndex(v, index);
        const auto command = v->selectionMode() == QAbstractItemView::MultiSelection
                                 ? QItemSelectionModel::Toggle
                                 : QItemSelectionModel::ClearAndSelect;
        if (v->selectionMode() == QAbstractItemView::NoSelection)
            v->selectionModel()->setCurrentIndex(idx, QItemSelectionModel::NoUpdate);
        else
            v->selectionModel()->setCurrentIndex(idx, command | QItemSelectionModel::Rows);
        // What a click on the line also reports.
        Q_EMIT v->pressed(idx);
        Q_EMIT v->clicked(idx);
        return;
    }
    cannot(w, "select a line");
}

void selectIndexes(QWidget *w, const QList<int> &rows)
{
    auto *v = qobject_cast<QAbstractItemView *>(w);
    if (!v) {
        if (rows.size() <= 1)
            return selectIndex(w, rows.isEmpty() ? -1 : rows.first());
        cannot(w, "select several lines");
    }
    if (!reachable(w))
        return;
    QItemSelection selection;
    for (int row : rows) {
        const QModelIndex idx = rowIndex(v, row);
        selection.select(idx, idx);
    }
    QItemSelectionModel *sm = v->selectionModel();
    sm->select(selection, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    if (!rows.isEmpty())
        sm->setCurrentIndex(rowIndex(v, rows.last()), QItemSelectionModel::NoUpdate);
}

void settleLayout(QWidget *w)
{
    // A form the host never showed still has its layout's geometry.
    if (QLayout *layout = w->window()->layout())
        layout->activate();
    if (auto *v = qobject_cast<QAbstractItemView *>(w))
        v->doItemsLayout();
}

void hoverLine(QWidget *w, int index)
{
    auto *v = qobject_cast<QAbstractItemView *>(w);
    if (!v)
        cannot(w, "show lines");
    settleLayout(v);
    QPoint at;
    if (index >= 0) {
        at = v->visualRect(rowIndex(v, index)).center();
    } else {
        const int rows = v->model() ? v->model()->rowCount(v->rootIndex()) : 0;
        const QRect last = rows > 0 ? v->visualRect(v->model()->index(rows - 1, 0, v->rootIndex())) : QRect();
        at = QPoint(v->viewport()->width() / 2, rows > 0 ? last.bottom() + 2 : 1);
    }
    sendMouse(v->viewport(), QEvent::MouseMove, at, Qt::NoButton, Qt::NoButton);
}

QStringList itemTexts(QAbstractItemView *view)
{
    QStringList out;
    QAbstractItemModel *model = view->model();
    if (!model)
        return out;
    for (int row = 0; row < model->rowCount(view->rootIndex()); ++row)
        out << model->index(row, 0, view->rootIndex()).data(Qt::DisplayRole).toString();
    return out;
}

QList<int> selectedRows(QAbstractItemView *view)
{
    QList<int> rows;
    if (!view->selectionModel())
        return rows;
    for (const QModelIndex &i : view->selectionModel()->selectedIndexes())
        if (!rows.contains(i.row()))
            rows << i.row();
    std::sort(rows.begin(), rows.end());
    return rows;
}

} // namespace tx::host
