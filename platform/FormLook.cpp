#include "platform/FormLook.h"

#include <QApplication>
#include <QFontDatabase>
#include <QPointer>
#include <QProxyStyle>
#include <QAbstractButton>
#include <QStyleOption>
#include <QWidget>

#include <algorithm>

namespace tx::ui {
namespace {

QString lookUpFamily()
{
    const QStringList all = QFontDatabase::families();
    for (const char *name : {"SimSun", "宋体", "NSimSun"})
        if (all.contains(QString::fromUtf8(name)))
            return QString::fromUtf8(name);
    const QStringList chinese = QFontDatabase::families(QFontDatabase::SimplifiedChinese);
    for (const QString &family : chinese)
        if (family.contains(QLatin1String("Song"), Qt::CaseInsensitive) ||
            family.contains(QLatin1String("Ming"), Qt::CaseInsensitive))
            return family;
    for (const QString &family : chinese)
        if (!family.contains(QLatin1String("Mono"), Qt::CaseInsensitive))
            return family;
    // Found by file, whatever the font configuration says.
    const int id = QFontDatabase::addApplicationFont(QStringLiteral("/usr/share/fonts/truetype/wqy/wqy-zenhei.ttc"));
    const QStringList loaded = QFontDatabase::applicationFontFamilies(id);
    return loaded.isEmpty() ? QStringLiteral("WenQuanYi Zen Hei") : loaded.first();
}

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

QString cjkFamily()
{
    static const QString family = lookUpFamily();
    return family;
}

QFont cjkFont(int pointSize)
{
    QFont f(cjkFamily());
    f.setPointSize(pointSize);
    return f;
}

void applyFormLook(QWidget *form)
{
    form->setFont(cjkFont(kFormPointSize));
    for (QAbstractButton *b : form->findChildren<QAbstractButton *>())
        b->setStyle(formStyle());
}

} // namespace tx::ui
