#include "officeimport/PowerPointConversion.h"
#include "platform/office/WorkFolders.h"

#include "officeimport/ConversionSteps.h"
#include "officeimport/HtmlCleaner.h"
#include "officeimport/ImportContext.h"
#include "util/PageSeparator.h"
#include "officeimport/Tag.h"
#include "platform/office/OfficeBackend.h"
#include "platform/office/OfficeConstants.h"
#include "util/FileUtils.h"

namespace tx {

using namespace office;

QString PowerPointConversion::pictureWord(int32_t languageId)
{
    return languageId == kLangChinesePrc ? QStringLiteral("幻灯片") : QStringLiteral("Slide");
}

int PowerPointConversion::import(const QString &fileDoc, const QString &colID, const QString &UserName)
{
    conversion::checkColumnId(colID);
    HtmlCleaner &c = ctx.cleaner();
    c.lngContentId = -1;
    Backend &office = backend();
    bool created = false;
    std::unique_ptr<PowerPointApplication> app = conversion::attachOrCreate<PowerPointApplication>(
        [&] { return office.attachPowerPoint(); }, [&] { return office.createPowerPoint(); }, &created);
    if (created)
        app->SetVisible(msoTrue);

    const QString folder = conversion::workFolder();
    c.strPicFolder = folder;
    conversion::makeWorkFolder(folder);
    const QString exportName = util::GetTempFile(folder, QStringLiteral("html"));

    std::unique_ptr<PowerPointPresentation> presentation = app->PresentationsOpen(fileDoc);
    const QString word = pictureWord(presentation->DefaultLanguageID());
    const int32_t n = presentation->SlidesCount();
    presentation->SaveAs(exportName, ppSaveAsJPG);
    c.strPicFolder = office::slidesFolder(exportName);
    // The program is quit before any picture is uploaded, whether it was
    // started here or was running already.
    presentation->Close();
    presentation.reset();
    app->Quit();
    app.reset();

    QString content;
    Tag slide;
    for (int32_t i = 1; i <= n; ++i) {
        slide.setTagName(QStringLiteral("IMG"));
        slide.SetAttribute(QStringLiteral("src"), QLatin1Char('/') + word + QString::number(i) + QStringLiteral(".jpg"));
        const QString answer = c.UploadPicture(slide);
        content += QStringLiteral("<img src=\"") + answer + QStringLiteral("\" width=\"") + ctx.pictureWidth()
            + QStringLiteral("\" height=\"") + ctx.pictureHeight() + QStringLiteral("\">") + PAGE_SEPARATOR;
    }
    ctx.PostArticle(colID, util::GetFileName(fileDoc), content, UserName);

    conversion::ignoringErrors([&] { conversion::deleteFile(exportName); });
    conversion::ignoringErrors([&] { util::RemoveFolder(c.strPicFolder); });
    return 1;
}

} // namespace tx
