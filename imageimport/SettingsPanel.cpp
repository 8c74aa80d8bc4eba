#include "imageimport/SettingsPanel.h"

#include "imageimport/ImageImportForm.h"
#include "imageimport/ThumbnailSize.h"
#include "core/AutomationError.h"
#include "platform/Ui.h"
#include "util/Text.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>

namespace tx::image {
namespace {

const QString kDialogTitle = QStringLiteral("导入图片");

// A click by the user and a change made in code (the automation API, a page)
// both run the rule.
template <class Rule>
void onClickOrChange(QAbstractButton *b, SettingsPanel *panel, Rule rule)
{
    QObject::connect(b, &QAbstractButton::clicked, panel, rule);
    QObject::connect(b, &QAbstractButton::toggled, panel, rule);
}

int selectedValue(const QComboBox *box)
{
    if (box->currentIndex() < 0)
        raiseRuntime(ErrSubscript, box->objectName());
    return box->currentData().toInt();
}

} // namespace

SettingsPanel::SettingsPanel(ImageImportForm &form, QObject *parent) : QObject(parent), f(form)
{
    connect(f.cmbScale, &QComboBox::activated, this, &SettingsPanel::applyScaleRule);
    connect(f.cmbScale, &QComboBox::currentIndexChanged, this, &SettingsPanel::applyScaleRule);
    onClickOrChange(f.chkSmallPic, this, &SettingsPanel::applySmallPicRule);
    onClickOrChange(f.chkStamp, this, &SettingsPanel::applyStampRule);
    onClickOrChange(f.optNameByPic, this, &SettingsPanel::applyTitleRule);
    onClickOrChange(f.optNameBySet, this, &SettingsPanel::applyTitleRule);
}

void SettingsPanel::start()
{
    f.cmbScale->setCurrentIndex(1);
}

void SettingsPanel::applyScaleRule()
{
    const int i = f.cmbScale->currentIndex();
    if (i < 0)
        return;
    f.txtWidth->setEnabled(i == 0 || i == 1);
    f.txtHeight->setEnabled(i == 0 || i == 2);
}

void SettingsPanel::applySmallPicRule()
{
    const bool on = f.chkSmallPic->isChecked();
    for (QWidget *w : std::initializer_list<QWidget *>{f.cmbScale, f.txtWidth, f.txtHeight, f.Label3, f.Label4,
                                                        f.Label5, f.Label7, f.Label8})
        w->setEnabled(on);
}

void SettingsPanel::applyStampRule()
{
    const bool on = f.chkStamp->isChecked();
    for (QWidget *w : std::initializer_list<QWidget *>{f.txtStampText, f.Label1, f.Label2, f.Label11, f.Label12,
                                                        f.cmbColor, f.cmbBkcolor, f.cmbPosition})
        w->setEnabled(on);
}

void SettingsPanel::applyTitleRule()
{
    f.txtTitle->setEnabled(f.optNameBySet->isChecked());
}

bool SettingsPanel::ValidateSettings()
{
    if (f.cmbScale->currentIndex() == 0 && f.cmbScale->isEnabled()) {
        for (QLineEdit *field : {f.txtWidth, f.txtHeight}) {
            if (!isNumeric(field->text())) {
                ui::messageBox(QStringLiteral("请输入半角数字"), ui::Buttons::OK, ui::Icon::None, kDialogTitle);
                field->setFocus(Qt::OtherFocusReason);
                field->selectAll();
                return false;
            }
        }
    }
    if (f.txtStampText->isEnabled() && util::trimSpaces(f.txtStampText->text()).isEmpty()) {
        ui::messageBox(QStringLiteral("请输入水印文字"), ui::Buttons::OK, ui::Icon::None, kDialogTitle);
        f.txtStampText->setFocus(Qt::OtherFocusReason);
        return false;
    }
    return true;
}

PictureSettings SettingsPanel::pictureSettings() const
{
    PictureSettings s;
    s.thumbnail = f.chkSmallPic->isChecked();
    s.scaleText = f.cmbScale->currentText();
    s.widthText = f.txtWidth->text();
    s.heightText = f.txtHeight->text();
    s.watermark = f.chkStamp->isChecked();
    if (s.watermark) {
        s.stampText = f.txtStampText->text();
        s.position = selectedValue(f.cmbPosition);
        s.color = selectedValue(f.cmbColor);
        s.bkColor = selectedValue(f.cmbBkcolor);
    }
    return s;
}

ArticleMode SettingsPanel::articleMode() const
{
    if (f.opOnePic->isChecked())
        return ArticleMode::OnePic;
    if (f.opOneCPagging->isChecked())
        return ArticleMode::OneCPaging;
    return ArticleMode::OneC;
}

bool SettingsPanel::titleByName() const { return f.optNameByPic->isChecked(); }
QString SettingsPanel::setTitle() const { return f.txtTitle->text(); }

} // namespace tx::image
