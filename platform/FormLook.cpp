#include "platform/FormLook.h"

#include "platform/CjkFont.h"

#include <QApplication>
#include <QPointer>
#include <QProxyStyle>
#include <QAbstractButton>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QStyleOption>
#include <QStyleOption>
#include <QWidget>

#include <algorithm>

namespace tx::ui {
namespace {

// The buttons, check boxes and options the forms were laid out for: a push button
// as wide as the form says (the style's minimum width is no part of a caption), a
// 13-pixel box or circle with its caption 4 pixels beside it.
class FormStyle : public QProxyStyle {
public:
    int pixelMetric(PixelMetric metric, const QStyleOption *option, const QWidget *widget) const override
    {
        switch (metric) {
        case PM_IndicatorWidth:
        case PM_IndicatorHeight:
        case PM_ExclusiveIndicatorWidth:
        case PM_ExclusiveIndicatorHeight:
            return kIndicator;
        case PM_CheckBoxLabelSpacing:
        case PM_RadioButtonLabelSpacing:
            return kLabelSpacing;
        default:
            return QProxyStyle::pixelMetric(metric, option, widget);
        }
    }

    QSize sizeFromContents(ContentsType type, const QStyleOption *option, const QSize &contents,
                           const QWidget *widget) const override
    {
        QSize size = QProxyStyle::sizeFromContents(type, option, contents, widget);
        if (type == CT_PushButton) {
            const int frame = pixelMetric(PM_DefaultFrameWidth, option, widget);
            const int natural = contents.width() + pixelMetric(PM_ButtonMargin, option, widget) + 2 * frame;
            size.setWidth(std::min(size.width(), natural));
        } else if (type == CT_CheckBox || type == CT_RadioButton) {
            size.setWidth(std::min(size.width(), contents.width() + kIndicator + kLabelSpacing));
        }
        return size;
    }

private:
    static constexpr int kIndicator = 13;
    static constexpr int kLabelSpacing = 4;
};

QStyle *formStyle()
{
    // Goes with the application; a later application gets a new one.
    static QPointer<QStyle> style;
    if (!style) {
        style = new FormStyle;
        style->setParent(QCoreApplication::instance());
    }
    return style;
}

bool shownIn(const QWidget *w, const QWidget *form) { return w->isVisibleTo(form) && !w->isWindow(); }

QList<QWidget *> shownChildren(QWidget *parent, const QWidget *form)
{
    QList<QWidget *> out;
    for (QWidget *w : parent->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly))
        if (shownIn(w, form))
            out << w;
    return out;
}

// A drop-down list as wide as its longest item, when its parent has the room.
void widenForItems(QComboBox *box)
{
    int widest = 0;
    for (int i = 0; i < box->count(); ++i)
        widest = std::max(widest, box->fontMetrics().horizontalAdvance(box->itemText(i)));
    QStyleOptionComboBox option;
    option.initFrom(box);
    const int needed = box->style()->sizeFromContents(QStyle::CT_ComboBox, &option, QSize(widest, 1), box).width();
    if (box->width() < needed && box->parentWidget())
        box->resize(std::min(needed, box->parentWidget()->width() - box->x()), box->height());
}

// A caption as tall as its face writes it, grown about its middle: the forms give
// one line of text 12 pixels.
void heightenForCaption(QWidget *w)
{
    const int needed = w->fontMetrics().height();
    if (w->height() >= needed)
        return;
    w->setGeometry(w->x(), w->y() - (needed - w->height()) / 2, w->width(), needed);
}

// Neighbours on one line that the face made run into each other: the right one
// moves along, while its parent has the room.
void separate(QList<QWidget *> kids, int parentWidth)
{
    constexpr int kGap = 6;
    std::sort(kids.begin(), kids.end(), [](QWidget *a, QWidget *b) { return a->x() < b->x(); });
    for (qsizetype i = 0; i < kids.size(); ++i)
        for (qsizetype j = i + 1; j < kids.size(); ++j) {
            QWidget *left = kids[i], *right = kids[j];
            if (!left->geometry().intersects(right->geometry()))
                continue;
            const int x = left->geometry().right() + 1 + kGap;
            if (x + right->width() <= parentWidth)
                right->move(x, right->y());
        }
}

// A frame's title and its top line take the frame's first pixels; what the layout
// put there moves below them, keeping its bottom where it was.
void clearTitle(QGroupBox *group, const QList<QWidget *> &kids)
{
    if (group->title().isEmpty())
        return;
    QStyleOptionGroupBox option;
    option.initFrom(group);
    option.text = group->title();
    option.subControls = QStyle::SC_GroupBoxLabel | QStyle::SC_GroupBoxFrame;
    const QRect inside = group->style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxContents, group);
    for (QWidget *w : kids) {
        if (w->y() >= inside.top())
            continue;
        const int top = inside.top();
        const int height = w->geometry().bottom() + 1 - top;
        if (height >= std::min(w->minimumSizeHint().height(), w->fontMetrics().height()))
            w->setGeometry(w->x(), top, w->width(), height);
        else
            w->move(w->x(), top);
    }
}

// The forms were laid out in twips for one face; in another, a caption or an item
// may need more room than it was given. Only what would be cut off or drawn over
// changes.
void fitToFace(QWidget *form)
{
    for (QComboBox *box : form->findChildren<QComboBox *>())
        widenForItems(box);
    for (QWidget *w : form->findChildren<QWidget *>()) {
        auto *label = qobject_cast<QLabel *>(w);
        auto *option = qobject_cast<QAbstractButton *>(w);
        if ((label && !label->text().isEmpty() && !label->wordWrap()) || (option && !option->text().isEmpty()))
            heightenForCaption(w);
    }
    for (QWidget *parent : QList<QWidget *>{form} + form->findChildren<QWidget *>()) {
        if (parent != form && !shownIn(parent, form))
            continue;
        const QList<QWidget *> kids = shownChildren(parent, form);
        separate(kids, parent->width());
        if (auto *group = qobject_cast<QGroupBox *>(parent))
            clearTitle(group, kids);
    }
}

} // namespace

void applyFormLook(QWidget *form)
{
    form->setFont(cjkFont(kFormPointSize));
    for (QAbstractButton *b : form->findChildren<QAbstractButton *>())
        b->setStyle(formStyle());
    fitToFace(form);
}

} // namespace tx::ui
