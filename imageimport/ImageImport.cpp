#include "imageimport/ImageImport.h"

#include "imageimport/ImageBatch.h"
#include "imageimport/ImageImportForm.h"
#include "imageimport/PictureList.h"
#include "imageimport/SettingsPanel.h"
#include "core/Activity.h"
#include "upload/UploadMachinery.h"

#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>

namespace tx {

ImageImport::ImageImport(QWidget *parent) : QWidget(parent), f(std::make_unique<image::ImageImportForm>(this))
{
    setObjectName(QStringLiteral("ImageImport"));
    UploadMachinery::Profile profile;
    profile.defaultPath = QStringLiteral("/cms/upload.asp");
    profile.keepsAnswer = true;
    profile.notFoundIsError = true;
    profile.onErrorAnswer = [this](const QString &received) {
        log(QStringLiteral("传输遇到错误：") + received);
    };
    upload = new UploadMachinery(this, f->pbFile, std::move(profile));
    panel = new image::SettingsPanel(*f, this);
    pictures = new image::PictureList(*f, this);
    panel->start();
    connect(f->btnCancel, &QPushButton::clicked, this, &ImageImport::onCancel);
    connect(f->btnBegin, &QPushButton::clicked, this, &ImageImport::RunBatch);
}

ImageImport::~ImageImport()
{
    // The handlers watch the form's widgets: they go before the widgets do.
    delete pictures;
    delete panel;
}

const QString &ImageImport::strAnswer() const { return upload->answer; }

void ImageImport::Init(const QString &UploadUrl, const QString &PostUrl, const QString &strPath, int pColumnid,
                       const QString &pUserName, const QString &strWater, int pIssueid, int pObjectType)
{
    strCurPath = strPath;
    upload->routeArticles(UploadUrl, PostUrl, strPostPath);
    lngColumnId = pColumnid;
    strUserName = pUserName;
    strIssueId = QString::number(pIssueid);
    strObjectType = QString::number(pObjectType);
    f->txtStampText->setText(strWater);
}

void ImageImport::addFormData(const QString &p_FormDataName, const QString &p_FormDataValue)
{
    upload->objPackage().addFormData(p_FormDataName, p_FormDataValue);
}

void ImageImport::StartUpload(const QString &localfile)
{
    upload->sendFileWithPackage(localfile);
    // Without an answer the last one would still stand; it must not pass for this
    // file's. An error answer has logged itself with what the server said.
    const UploadMachinery::Outcome outcome = upload->outcome();
    if (!upload->outcomeReason().isEmpty() && outcome != UploadMachinery::Outcome::ErrorAnswer) {
        log(QStringLiteral("传输遇到错误：") + upload->outcomeReason());
        upload->answer = QStringLiteral("Error");
    }
}

bool ImageImport::ValidateSettings()
{
    return panel->ValidateSettings();
}

void ImageImport::RunBatch()
{
    const activity::UserOperation batch(this, &bRunning);
    if (!batch)
        return;
    image::ImageBatch(*this).run();
}

void ImageImport::onCancel()
{
    bRunning = false;
    f->btnCancel->setEnabled(false);
    f->pbFile->setVisible(false);
}

void ImageImport::log(const QString &line)
{
    f->lstLog->addItem(line);
}

} // namespace tx
