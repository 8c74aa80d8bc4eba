#include "imageimport/ImageBatch.h"

#include "imageimport/ImageImport.h"
#include "imageimport/ImageImportForm.h"
#include "imageimport/SettingsPanel.h"
#include "imageimport/ThumbnailSize.h"
#include "imageimport/UploadFields.h"
#include "core/AutomationError.h"
#include "platform/Picture.h"
#include "core/Pump.h"
#include "platform/Ui.h"
#include "upload/UploadMachinery.h"

#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>

namespace tx::image {
namespace {

void fill(CompondFile &pkg, const Fields &fields)
{
    pkg.RemoveAll();
    for (const auto &[name, value] : fields)
        pkg.addFormData(name, value);
}

} // namespace

ImageBatch::ImageBatch(ImageImport &control) : ctl(control), f(control.form()) {}

void ImageBatch::run()
{
    try {
        const int answer = ui::messageBox(QStringLiteral("是否确认要进行上传操作？"), ui::Buttons::YesNo,
                                          ui::Icon::None, QStringLiteral("图片导入"));
        if (answer == ui::IDYES) {
            begin();
            // A failed check has told the user why.
            if (ctl.ValidateSettings())
                publish();
        }
    } catch (const AutomationError &e) {
        failed(e);
    } catch (const std::exception &e) {
        failed(AutomationError(ErrAutomation, QStringLiteral("Tessarix5"), QString::fromLocal8Bit(e.what())));
    } catch (...) {
        failed(runtimeError(ErrAutomation));
    }
    restore();
}

void ImageBatch::failed(const AutomationError &e)
{
    ctl.log(QStringLiteral("系统错误，操作被强行终止，错误描述："));
    ctl.log(QStringLiteral("(%1)[%2]%3;").arg(e.number).arg(e.source, e.description));
}

void ImageBatch::begin()
{
    f.lstLog->clear();
    f.btnAddFile->setEnabled(false);
    f.btnDelFile->setEnabled(false);
    f.btnBegin->setEnabled(false);
    f.btnCancel->setEnabled(true);
    f.ProgressBar->setVisible(true);
    f.pbFile->setVisible(true);
    f.ProgressBar->setRange(0, f.lstFileList->count());
}

void ImageBatch::publish()
{
    ctl.bRunning = true;
    composer.reset();
    placed = 0;
    // The list cannot change under the loop: its buttons are unavailable.
    const int last = f.lstFileList->count() - 1;
    for (int index = 0; index <= last && ctl.bRunning; ++index) {
        processPicture(index);
        pump::once();
        pump::once();
    }
    // A cancelled batch still posts the pictures done so far; none, no article.
    if (placed > 0 && composer.finish(ctl.settings().articleMode()))
        PostImageArticle();
    f.lstFileList->clear();
}

void ImageBatch::processPicture(int index)
{
    f.ProgressBar->setValue(index + 1);
    const QListWidgetItem *item = f.lstFileList->item(index);
    if (!item)
        raiseRuntime(ErrSubscript, QString::number(index));
    const QString path = item->text();
    SettingsPanel &settings = ctl.settings();
    strArticleTitle = settings.titleByName() ? titleByPictureName(path) : settings.setTitle();

    const picture::HimetricSize size = picture::himetricSize(path);
    const int w0 = pixelsFromHimetric(size.width);
    const int h0 = pixelsFromHimetric(size.height);
    const Fields fields = pictureFields(ctl.strCurPath, settings.pictureSettings(), w0, h0);
    fill(ctl.machinery().objPackage(), fields);
    ctl.StartUpload(path);
    // "Error" stands for what the server refused; a picture that never reached it
    // (no connection, no answer, changed while sent) is left out of the article.
    const UploadMachinery::Outcome outcome = ctl.machinery().outcome();
    if (outcome != UploadMachinery::Outcome::Answered && outcome != UploadMachinery::Outcome::ErrorAnswer)
        return;

    ++placed;
    const QString fragment = fragmentFromAnswer(ctl.strAnswer());
    if (composer.addPicture(settings.articleMode(), fragment, strArticleTitle))
        PostImageArticle();
}

void ImageBatch::PostImageArticle()
{
    UploadMachinery &up = ctl.machinery();
    up.setProgress(0);
    pump::once();
    fill(up.objPackage(), articleFields(ArticleFields{ctl.lngColumnId, ctl.strIssueId, ctl.strObjectType,
                                                      strArticleTitle, composer.content(), ctl.strUserName}));
    up.postPackage(ctl.strPostPath);
    up.setProgress(100);
}

void ImageBatch::restore()
{
    f.btnAddFile->setEnabled(true);
    f.btnDelFile->setEnabled(true);
    f.ProgressBar->setVisible(false);
    f.pbFile->setVisible(false);
    // Start is offered again only when there is something to start.
    f.btnBegin->setEnabled(f.lstFileList->count() > 0);
    f.btnCancel->setEnabled(false);
}

} // namespace tx::image
