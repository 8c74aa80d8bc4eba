#include "officeimport/OfficeImportForm.h"

#include "platform/FormLook.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>

namespace tx {
namespace {

template <typename W>
W *place(QWidget *parent, const char *name, const QRect &r)
{
    return ui::placeChild<W>(parent, name, r);
}

} // namespace

QRect OfficeImportForm::twips(int left, int top, int width, int height)
{
    return ui::fromTwips(left, top, width, height);
}

OfficeImportForm::OfficeImportForm(QWidget *owner)
{
    owner->setFixedSize(twips(0, 0, 6885, 4110).size());

    Frame1 = place<QGroupBox>(owner, "Frame1", twips(120, 240, 6495, 2535));
    Frame1->setTitle(QStringLiteral("准备要导入的文件"));
    List1 = place<QListWidget>(Frame1, "List1", twips(240, 240, 6015, 1680));
    List1->setSelectionMode(QAbstractItemView::ExtendedSelection);
    // Dropped files are handled by the control itself, not by the view's own
    // item moving (the drag-drop mode would switch accepting drops off again).
    List1->setDragDropMode(QAbstractItemView::NoDragDrop);
    List1->setAcceptDrops(true);
    List1->viewport()->setAcceptDrops(true);
    List1->setMouseTracking(true);
    List1->viewport()->setMouseTracking(true);
    Command1 = place<QPushButton>(Frame1, "Command1", twips(4320, 2040, 855, 375));
    Command1->setText(QStringLiteral("增加"));
    Command2 = place<QPushButton>(Frame1, "Command2", twips(5400, 2040, 855, 375));
    Command2->setText(QStringLiteral("删除"));
    pbFile = place<QProgressBar>(Frame1, "pbFile", twips(240, 2040, 6015, 255));
    pbFile->setRange(0, 100);
    pbFile->setValue(0);
    pbFile->setVisible(false);

    Frame2 = place<QGroupBox>(owner, "Frame2", twips(120, 2880, 2055, 975));
    Frame2->setTitle(QStringLiteral("Word"));
    Check1 = place<QCheckBox>(Frame2, "Check1", twips(120, 240, 1095, 255));
    Check1->setText(QStringLiteral("自动分页"));
    Check2 = place<QCheckBox>(Frame2, "Check2", twips(120, 600, 1455, 255));
    Check2->setText(QStringLiteral("清理HTML代码"));

    Frame3 = place<QGroupBox>(owner, "Frame3", twips(2400, 2880, 1935, 975));
    Frame3->setTitle(QStringLiteral("PowerPoint"));
    Label1 = place<QLabel>(Frame3, "Label1", twips(120, 240, 450, 180));
    Label1->setText(QStringLiteral("宽度:"));
    txtWidth = place<QLineEdit>(Frame3, "txtWidth", twips(720, 240, 855, 270));
    txtWidth->setText(QStringLiteral("800"));
    Label2 = place<QLabel>(Frame3, "Label2", twips(120, 600, 450, 180));
    Label2->setText(QStringLiteral("高度:"));
    txtHeight = place<QLineEdit>(Frame3, "txtHeight", twips(720, 600, 855, 270));
    txtHeight->setText(QStringLiteral("600"));

    Command3 = place<QPushButton>(owner, "Command3", twips(4680, 3000, 1935, 375));
    Command3->setText(QStringLiteral("开始导入"));
    Command4 = place<QPushButton>(owner, "Command4", twips(4680, 3600, 1935, 375));
    Command4->setText(QStringLiteral("取消"));
    Command4->setEnabled(false);
}

} // namespace tx
