#include "officeimport/ImportLoop.h"

#include "officeimport/NumericText.h"
#include "officeimport/OfficeImport.h"
#include "core/Activity.h"
#include "core/AutomationError.h"
#include "core/Pump.h"
#include "platform/ActionGuard.h"
#include "platform/Ui.h"
#include "util/FileUtils.h"
#include "util/Text.h"

#include <QCheckBox>
#include <QDropEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QUrl>

namespace tx {
namespace {

const QString kDone = QStringLiteral("完成");
// A line's path and whether it is done live beside its text, so that neither a
// mark nor a path holding "完成" is ever taken for the other.
constexpr int kPathRole = Qt::UserRole;
constexpr int kDoneRole = Qt::UserRole + 1;

QString pathOf(const QListWidgetItem *item)
{
    const QVariant path = item->data(kPathRole);
    return path.isValid() ? path.toString() : item->text();
}

bool isDone(const QListWidgetItem *item)
{
    return item->data(kDoneRole).toBool();
}

QStringList droppedFiles(const QMimeData *data)
{
    QStringList files;
    if (!data || !data->hasUrls())
        return files;
    for (const QUrl &url : data->urls())
        if (url.isLocalFile())
            files << url.toLocalFile();
    return files;
}

void reportFailure(const QString &path, const QString &description)
{
    ui::messageBox(QStringLiteral("导入文件时出错：") + path + QLatin1Char('\n') + description, ui::Buttons::OK,
                   ui::Icon::Critical);
}

} // namespace

const QString ImportLoop::kFilter = QStringLiteral(
    "所有Office文档(*.doc;*.xls;*.ppt;*.txt;*.docx;*.xlsx;*.pptx)|*.doc;*.xls;*.ppt;*.txt;*.docx;*.xlsx;*.pptx"
    "|Word文档(*.doc;*.docx)|*.doc;*.docx|Excel文档(*.xls;*.xlsx)|*.xls;*.xlsx"
    "|PowerPoint文档(*.ppt;*.pptx)|*.ppt;*.pptx|纯文本文件(*.txt)|*.txt");

ImportLoop::ImportLoop(OfficeImport &c, const OfficeImportForm &form, QObject *parent)
    : QObject(parent), control(c), ui(form)
{
    connect(ui.Command1, &QPushButton::clicked, this, [this] { ui::guarded([this] { addFiles(); }); });
    connect(ui.Command2, &QPushButton::clicked, this, [this] { ui::guarded([this] { deleteSelected(); }); });
    connect(ui.Command3, &QPushButton::clicked, this, [this] { ui::guarded([this] { start(); }); });
    connect(ui.Command4, &QPushButton::clicked, this, [this] { ui::guarded([this] { cancel(); }); });
    ui.List1->installEventFilter(this);
    ui.List1->viewport()->installEventFilter(this);
}

void ImportLoop::AddFileToList(const QString &path)
{
    if (path.isEmpty())
        return;
    const QString p = util::trimSpaces(path).toString();
    for (int i = ui.List1->count() - 1; i >= 0; --i)
        if (pathOf(ui.List1->item(i)) == p)
            return;
    auto *item = new QListWidgetItem(p);
    item->setData(kPathRole, p);
    ui.List1->addItem(item);
}

void ImportLoop::addFiles()
{
    // The platform's dialog gives full paths, one per chosen file.
    const QStringList files = tx::ui::openFiles(tx::ui::FileDialogRequest{kFilter, kFlags, kMaxFileSize});
    for (const QString &f : files)
        AddFileToList(f);
}

void ImportLoop::deleteSelected()
{
    for (int i = ui.List1->count() - 1; i >= 0; --i)
        if (ui.List1->item(i)->isSelected())
            delete ui.List1->takeItem(i);
}

void ImportLoop::start()
{
    const activity::UserOperation operation(&control, &control.bRunning);
    if (!operation)
        return;
    // Cancel enables the start button while the current file is still being
    // imported; a second loop must not run beside the first.
    if (looping)
        return;
    control.bAutoPaging = ui.Check1->isChecked();
    control.bCleanHtml = ui.Check2->isChecked();
    if (!isNumericText(ui.txtHeight->text())) {
        tx::ui::messageBox(QStringLiteral("图片高度必须为一数值！"));
        return;
    }
    if (!isNumericText(ui.txtWidth->text())) {
        tx::ui::messageBox(QStringLiteral("图片宽度必须为一数值！"));
        return;
    }
    setImporting(true);
    control.bRunning = true;
    looping = true;
    struct Restore {
        ImportLoop *self;
        ~Restore()
        {
            self->looping = false;
            self->setImporting(false);
        }
    } restore{this};
    runLoop();
}

void ImportLoop::cancel()
{
    control.bRunning = false;
    ui.Command1->setVisible(true);
    ui.Command2->setVisible(true);
    ui.Command3->setEnabled(true);
    ui.Command4->setEnabled(false);
    ui.pbFile->setVisible(false);
}

void ImportLoop::setImporting(bool importing)
{
    ui.Check1->setEnabled(!importing);
    ui.Check2->setEnabled(!importing);
    ui.Command1->setVisible(!importing);
    ui.Command2->setVisible(!importing);
    ui.pbFile->setVisible(importing);
    ui.Command3->setEnabled(!importing);
    ui.Command4->setEnabled(importing);
    ui.txtHeight->setEnabled(!importing);
    ui.txtWidth->setEnabled(!importing);
}

void ImportLoop::runLoop()
{
    // Lines dropped while the loop runs wait for the next start.
    const int count = ui.List1->count();
    for (int i = 0; i < count && control.bRunning; ++i)
        ui::guarded([&] { importOne(i); });
}

void ImportLoop::importOne(int row)
{
    QListWidgetItem *item = ui.List1->item(row);
    if (!item || isDone(item))
        return;
    const QString path = pathOf(item);
    item->setText(path + QStringLiteral("..."));
    ui.pbFile->setValue(0);
    pump::once();

    const QString ext = util::GetFileExt(path).toLower();
    const QString colId = QString::number(control.lngColumnId);
    try {
        if (ext == u"doc" || ext == u"docx") {
            if (control.bAutoPaging)
                control.ImportDocFile(path, colId, control.strUserName);
            else
                control.ImportDocFileOnePage(path, colId, control.strUserName);
        } else if (ext == u"ppt" || ext == u"pptx") {
            control.ImportPPTFile(path, colId, control.strUserName);
        } else if (ext == u"xls" || ext == u"xlsx") {
            control.ImportXlsFile(path, colId, control.strUserName);
        } else if (ext == u"txt") {
            control.ImportTxtFile(path, control.lngColumnId, control.strUserName);
        }
    } catch (const AutomationError &e) {
        // The line gets its own text back, so the next start imports it again.
        finishLine(row, path, false);
        reportFailure(path, e.description);
        return;
    } catch (const std::exception &e) {
        finishLine(row, path, false);
        reportFailure(path, QString::fromLocal8Bit(e.what()));
        return;
    }
    finishLine(row, path, true);
    pump::once();
}

void ImportLoop::finishLine(int row, const QString &path, bool done)
{
    // The user may have deleted lines after a cancel; find the line again.
    QListWidgetItem *item = ui.List1->item(row);
    if (!item || pathOf(item) != path || isDone(item)) {
        item = nullptr;
        for (int i = 0; i < ui.List1->count() && !item; ++i)
            if (pathOf(ui.List1->item(i)) == path && !isDone(ui.List1->item(i)))
                item = ui.List1->item(i);
    }
    if (!item)
        return;
    item->setData(kDoneRole, done);
    item->setText(done ? path + QStringLiteral("......") + kDone : path);
}

void ImportLoop::showToolTipAt(const QPoint &viewportPos)
{
    const QModelIndex index = ui.List1->indexAt(viewportPos);
    ui.List1->setToolTip(index.isValid() ? index.data().toString() : QString());
}

bool ImportLoop::eventFilter(QObject *watched, QEvent *event)
{
    QWidget *viewport = ui.List1->viewport();
    if (watched != ui.List1 && watched != viewport)
        return false;
    const auto toViewport = [&](const QPointF &p) {
        const QPoint pt = p.toPoint();
        return watched == viewport ? pt : viewport->mapFrom(ui.List1, pt);
    };
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto *e = static_cast<QDragMoveEvent *>(event);
        if (!droppedFiles(e->mimeData()).isEmpty()) {
            e->setDropAction(Qt::CopyAction);
            e->accept();
        } else {
            e->setDropAction(Qt::IgnoreAction);
            e->ignore();
        }
        return true;
    }
    case QEvent::Drop: {
        auto *e = static_cast<QDropEvent *>(event);
        const QStringList files = droppedFiles(e->mimeData());
        if (files.isEmpty()) {
            e->ignore();
            return true;
        }
        e->setDropAction(Qt::CopyAction);
        e->accept();
        ui::guarded([&] {
            for (const QString &f : files)
                AddFileToList(f);
        });
        return true;
    }
    case QEvent::MouseMove:
        showToolTipAt(toViewport(static_cast<QMouseEvent *>(event)->position()));
        return false;
    default:
        return false;
    }
}

} // namespace tx
