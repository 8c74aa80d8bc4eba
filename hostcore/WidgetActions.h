#pragma once
// A person's actions on widgets, done through the same events and signals that a
// real click, typing or choice produces, synchronously. Each throws
// tx::AutomationError when the widget's kind cannot take the action.
#include <QList>
#include <QStringList>

class QWidget;
class QAbstractItemView;

namespace tx::host {

// A disabled or hidden widget takes no click, as for a person.
void clickWidget(QWidget *w);
void typeText(QWidget *w, const QString &text);
void checkWidget(QWidget *w, bool on);
// -1 clears the choice.
void selectIndex(QWidget *w, int index);
void selectIndexes(QWidget *w, const QList<int> &rows);
// The pointer over line `index` of a list; -1 below its last line.
void hoverLine(QWidget *w, int index);

// Lays out a form that was never shown, so geometry and lines have their places.
void settleLayout(QWidget *w);

QStringList itemTexts(QAbstractItemView *view);
QList<int> selectedRows(QAbstractItemView *view);

} // namespace tx::host
