#include "imageimport/PictureList.h"

#include "imageimport/ImageImportForm.h"
#include "imageimport/ThumbnailSize.h"
#include "platform/Picture.h"
#include "platform/Ui.h"
#include "util/FileUtils.h"
#include "util/Text.h"

#include <QEvent>
#include <QHelpEvent>
#include <QLabel>
#include <QListWidget>
#include <QMouseEvent>
#include <QPixmap>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QToolTip>

namespace tx::image {

PictureList::PictureList(ImageImportForm &form, QObject *parent) : QObject(parent), f(form)
{
    connect(f.btnAddFile, &QPushButton::clicked, this, &PictureList::addFiles);
    connect(f.btnDelFile, &QPushButton::clicked, this, &PictureList::removeSelected);
    // A change of the current entry by mouse, keyboard or code, and a click on the
    // entry that is already current, both show the preview.
    connect(f.lstFileList, &QListWidget::currentRowChanged, this, [this] {
        if (!removing)
            ShowPreview();
    });
    connect(f.lstFileList, &QListWidget::itemClicked, this, [this](QListWidgetItem *item) {
        if (item && f.lstFileList->row(item) == f.lstFileList->currentRow()
            && previewed != item->text())
            ShowPreview();
    });
    f.lstFileList->viewport()->installEventFilter(this);
}

void PictureList::addFiles()
{
    try {
        const QStringList picked =
            ui::openFiles(ui::FileDialogRequest{kPictureFilter, kPictureDialogFlags, kPictureDialogBuffer});
        if (picked.size() == 1) {
            // One file: its kind is the last three characters of its path.
            offer(picked.front(), util::lowerUnits(QStringView(picked.front()).right(3)));
            return;
        }
        // Several files (or none, cancelled): the kind of each from its bare name.
        for (const QString &path : picked)
            offer(path, util::lowerUnits(util::GetFileExt(util::GetFileName(path))));
        if (f.lstFileList->count() == 0)
            return;
        const bool alreadyCurrent = f.lstFileList->currentRow() == 0;
        f.lstFileList->setCurrentRow(0);
        if (alreadyCurrent)
            ShowPreview();
    } catch (...) {
        // Nothing to tell the user: the list keeps what was added.
    }
}

void PictureList::offer(const QString &path, const QString &kind)
{
    if (kind == u"bmp" || kind == u"jpg" || kind == u"gif") {
        f.lstFileList->addItem(path);
        f.btnDelFile->setEnabled(true);
        f.btnBegin->setEnabled(true);
        return;
    }
    ui::messageBox(path + QStringLiteral("为不可识别的图片格式，请选择*.jpg,*.bmp或*.gif文件"));
}

void PictureList::removeSelected()
{
    QListWidget *list = f.lstFileList;
    if (list->count() == 0)
        return;
    const QScopedValueRollback<bool> guard(removing, true);
    for (int i = list->count() - 1; i >= 0; --i) {
        if (list->item(i)->isSelected())
            delete list->takeItem(i);
    }
    if (list->count() == 0) {
        f.btnDelFile->setEnabled(false);
        f.btnBegin->setEnabled(false);
    }
}

void PictureList::ShowPreview()
{
    const QListWidgetItem *item = f.lstFileList->currentItem();
    if (!item)
        return;
    const QString path = item->text();
    const QImage image = picture::loadScaled(path, f.imgPreview->size());
    f.imgPreview->setPixmap(image.isNull() ? QPixmap() : QPixmap::fromImage(image));
    previewed = path;
    QString caption = util::GetFileName(path);
    try {
        const picture::HimetricSize size = picture::himetricSize(path);
        caption += QStringLiteral("\r\n") + QString::number(pixelsFromHimetric(size.width))
            + QStringLiteral("\u3000\u00D7\u3000") + QString::number(pixelsFromHimetric(size.height));
    } catch (...) {
        // A picture that cannot be read shows its name alone.
    }
    f.lblImgName->setText(caption);
}

void PictureList::updateToolTip(const QPoint &pos)
{
    // The list's own row-at-point query; outside every entry it answers none.
    const QModelIndex index = f.lstFileList->indexAt(pos);
    const QListWidgetItem *item = index.isValid() ? f.lstFileList->item(index.row()) : nullptr;
    f.lstFileList->setToolTip(item ? item->text() : QString());
}

bool PictureList::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != f.lstFileList->viewport())
        return false;
    switch (event->type()) {
    case QEvent::MouseMove:
        updateToolTip(static_cast<QMouseEvent *>(event)->position().toPoint());
        return false;
    case QEvent::Leave:
        f.lstFileList->setToolTip(QString());
        return false;
    case QEvent::ToolTip: {
        // The view would ask its entries for tips; the list carries one of its own.
        const auto *help = static_cast<QHelpEvent *>(event);
        if (f.lstFileList->toolTip().isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), f.lstFileList->toolTip(), f.lstFileList);
        return true;
    }
    default:
        return false;
    }
}

} // namespace tx::image
