#include "platform/FormLook.h"

#include "platform/CjkFont.h"

#include <QApplication>
#include <QPointer>
#include <QProxyStyle>
#include <QAbstractButton>
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

} // namespace

void applyFormLook(QWidget *form)
{
    form->setFont(cjkFont(kFormPointSize));
    for (QAbstractButton *b : form->findChildren<QAbstractButton *>())
        b->setStyle(formStyle());
}

} // namespace tx::ui
