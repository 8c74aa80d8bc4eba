#include "imageimport/ImageImportForm.h"

#include "platform/FormLook.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPalette>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>

namespace tx::image {
namespace {

template <class W>
W *place(QWidget *parent, const char *name, int left, int top, int width, int height)
{
    return ui::placeChild<W>(parent, name, ui::fromTwips(left, top, width, height));
}

template <class W>
W *captioned(QWidget *parent, const char *name, const QString &caption, int left, int top, int width,
             int height)
{
    W *w = place<W>(parent, name, left, top, width, height);
    w->setText(caption);
    return w;
}

QGroupBox *frame(QWidget *parent, const char *name, const QString &caption, int left, int top, int width,
                 int height)
{
    QGroupBox *g = place<QGroupBox>(parent, name, left, top, width, height);
    g->setTitle(caption);
    return g;
}

struct Choice {
    const char16_t *text;
    int value;
};

constexpr Choice kColors[] = {
    {u"红", 255}, {u"蓝", 16711680}, {u"黄", 16776960}, {u"绿", 65280},
    {u"黑", 0},   {u"白", 16777215}, {u"灰", 14078926},
};
constexpr Choice kPositions[] = {{u"左上", 1}, {u"居中", 16}, {u"右下", 256}};
constexpr const char16_t *kScales[] = {
    u"指定宽度和高度", u"指定宽度，约束比例", u"指定高度，约束比例", u"80%", u"60%", u"50%",
    u"40%", u"30%", u"25%", u"20%", u"10%",
};

template <size_t N>
void fill(QComboBox *box, const Choice (&choices)[N])
{
    for (const Choice &c : choices)
        box->addItem(QString::fromUtf16(c.text), c.value);
}

} // namespace

ImageImportForm::ImageImportForm(QWidget *owner)
{
    Frame1 = frame(owner, "Frame1", QStringLiteral("准备要导入的文件"), 0, 0, 6375, 3135);
    lstFileList = place<QListWidget>(Frame1, "lstFileList", 120, 240, 6075, 2220);
    lstFileList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lstFileList->viewport()->setMouseTracking(true);
    btnAddFile = captioned<QPushButton>(Frame1, "btnAddFile", QStringLiteral("添加"), 4080, 2640, 975, 375);
    btnDelFile = captioned<QPushButton>(Frame1, "btnDelFile", QStringLiteral("删除"), 5160, 2640, 975, 375);
    btnDelFile->setEnabled(false);

    Picture1 = place<QFrame>(owner, "Picture1", 6600, 120, 2895, 2295);
    imgPreview = place<QLabel>(Picture1, "imgPreview", 0, 0, 2895, 2295);
    imgPreview->setScaledContents(true);
    lblImgName = place<QLabel>(owner, "lblImgName", 6600, 2520, 2895, 495);
    lblImgName->setWordWrap(true);

    Frame3 = frame(owner, "Frame3", QStringLiteral("处理方式"), 0, 3240, 9495, 615);
    opOneC = captioned<QRadioButton>(Frame3, "opOneC", QStringLiteral("所有图片在同一篇文章中，不分页"), 240, 360, 3135, 180);
    opOneCPagging = captioned<QRadioButton>(Frame3, "opOneCPagging", QStringLiteral("一篇文章，每页一张图"), 3240, 360, 2295, 180);
    opOnePic = captioned<QRadioButton>(Frame3, "opOnePic", QStringLiteral("一张图片生成一篇文章"), 5520, 360, 2175, 180);
    opOneC->setChecked(true);

    Frame2 = frame(owner, "Frame2", QStringLiteral("设置"), 0, 3960, 9495, 1695);
    Label6 = captioned<QLabel>(Frame2, "Label6", QStringLiteral("文章标题："), 120, 285, 900, 180);
    optNameByPic = captioned<QRadioButton>(Frame2, "optNameByPic", QStringLiteral("同图片名称"), 1200, 240, 1335, 270);
    optNameBySet = captioned<QRadioButton>(Frame2, "optNameBySet", QStringLiteral("统一使用设定标题"), 2640, 240, 1815, 270);
    optNameByPic->setChecked(true);
    txtTitle = place<QLineEdit>(Frame2, "txtTitle", 4680, 240, 4575, 270);
    chkSmallPic = captioned<QCheckBox>(Frame2, "chkSmallPic", QStringLiteral("缩小尺寸"), 120, 645, 1065, 330);
    chkSmallPic->setChecked(true);
    Label3 = captioned<QLabel>(Frame2, "Label3", QStringLiteral("比例："), 1320, 720, 540, 180);
    cmbScale = place<QComboBox>(Frame2, "cmbScale", 1920, 660, 1935, 300);
    Label5 = captioned<QLabel>(Frame2, "Label5", QStringLiteral("宽度："), 4080, 720, 540, 180);
    txtWidth = captioned<QLineEdit>(Frame2, "txtWidth", QStringLiteral("160"), 4680, 675, 735, 270);
    Label8 = captioned<QLabel>(Frame2, "Label8", QStringLiteral("(像素)"), 5520, 720, 540, 180);
    Label4 = captioned<QLabel>(Frame2, "Label4", QStringLiteral("高度："), 6360, 720, 540, 180);
    txtHeight = captioned<QLineEdit>(Frame2, "txtHeight", QStringLiteral("120"), 6960, 675, 735, 270);
    Label7 = captioned<QLabel>(Frame2, "Label7", QStringLiteral("(像素)"), 7800, 720, 540, 180);
    chkStamp = captioned<QCheckBox>(Frame2, "chkStamp", QStringLiteral("加水印"), 120, 1125, 945, 270);
    Label1 = captioned<QLabel>(Frame2, "Label1", QStringLiteral("水印文字："), 1080, 1170, 900, 180);
    txtStampText = place<QLineEdit>(Frame2, "txtStampText", 2040, 1125, 2295, 270);
    Label2 = captioned<QLabel>(Frame2, "Label2", QStringLiteral("水印颜色："), 4440, 1185, 900, 180);
    cmbColor = place<QComboBox>(Frame2, "cmbColor", 5400, 1125, 735, 300);
    Label12 = captioned<QLabel>(Frame2, "Label12", QStringLiteral("背景颜色："), 6240, 1185, 900, 180);
    cmbBkcolor = place<QComboBox>(Frame2, "cmbBkcolor", 7200, 1125, 735, 300);
    Label11 = captioned<QLabel>(Frame2, "Label11", QStringLiteral("位置："), 8040, 1185, 540, 180);
    cmbPosition = place<QComboBox>(Frame2, "cmbPosition", 8640, 1125, 735, 300);
    for (QWidget *w : {static_cast<QWidget *>(Label1), static_cast<QWidget *>(txtStampText),
                       static_cast<QWidget *>(Label2), static_cast<QWidget *>(cmbColor),
                       static_cast<QWidget *>(Label12), static_cast<QWidget *>(cmbBkcolor),
                       static_cast<QWidget *>(Label11), static_cast<QWidget *>(cmbPosition)})
        w->setEnabled(false);

    lstLog = place<QListWidget>(owner, "lstLog", 120, 5760, 9375, 780);
    QPalette logColours = lstLog->palette();
    logColours.setColor(QPalette::Base, QColor(0xFF, 0xFF, 0xC0)); // light yellow
    lstLog->setPalette(logColours);
    ProgressBar = place<QProgressBar>(owner, "ProgressBar", 120, 6600, 9375, 255);
    ProgressBar->setValue(0);
    ProgressBar->setVisible(false);
    pbFile = place<QProgressBar>(owner, "pbFile", 120, 6960, 9375, 255);
    pbFile->setRange(0, 100);
    pbFile->setValue(0);
    pbFile->setVisible(false);
    btnBegin = captioned<QPushButton>(owner, "btnBegin", QStringLiteral("开始导入"), 6240, 7320, 1365, 375);
    btnBegin->setEnabled(false);
    btnCancel = captioned<QPushButton>(owner, "btnCancel", QStringLiteral("取消"), 7920, 7320, 1365, 375);
    btnCancel->setEnabled(false);

    for (const char16_t *s : kScales)
        cmbScale->addItem(QString::fromUtf16(s));
    fill(cmbColor, kColors);
    fill(cmbBkcolor, kColors);
    fill(cmbPosition, kPositions);
    cmbColor->setCurrentIndex(0);
    cmbBkcolor->setCurrentIndex(0);
    cmbPosition->setCurrentIndex(0);
    // cmbScale's start-up selection goes through the scale rule (SettingsPanel).
    cmbScale->setCurrentIndex(-1);

    owner->resize(ui::fromTwips(0, 0, 120 + 9375, 7320 + 375).size());
}

} // namespace tx::image
