#include "officeimport/PowerPointConversion.h"
#include "office/WorkFolders.h"

#include "officeimport/ConversionSteps.h"
#include "officeimport/HtmlCleaner.h"
#include "officeimport/ImportContext.h"
#include "util/PageSeparator.h"
#include "officeimport/Tag.h"
#include "office/OfficeBackend.h"
#include "office/OfficeConstants.h"
#include "util/FileUtils.h"

namespace tx {

using namespace office;

QString PowerPointConversion::pictureWord(int32_t languageId)
{
    return languageId == kLangChinesePrc ? QStringLiteral("幻灯片") : QStringLiteral("Slide");
}

int PowerPointConversion::import(const QString &fileDoc, const QString &colID, const QString &UserName)
{
    return conversion::convert(fileDoc, [&] {
        conversion::checkColumnId(colID);
        HtmlCleaner &c = ctx.cleaner();
        c.lngContentId = -1;
        Backend &office = backend();
        bool created = false;
        std::unique_ptr<PowerPointApplication> app = conversion::attachOrCreate<PowerPointApplication>(
            [&] { return office.attachPowerPoint(); }, [&] { return office.createPowerPoint(); }, &created);
        if (created)
            app->SetVisible(msoTrue);

        conversion::WorkFiles work;
        const QString exportName = conversion::startWorkFile(c, work, fileDoc);

        std::unique_ptr<PowerPointPresentation> presentation = app->PresentationsOpen(fileDoc);
        const QString word = pictureWord(presentation->DefaultLanguageID());
        const int32_t n = presentation->SlidesCount();
        presentation->SaveAs(exportName, ppSaveAsJPG);
        c.strPicFolder = office::slidesFolder(exportName);
        c.strPicRoot = c.strPicFolder;
        // The program is quit before any picture is uploaded, whether it was
        // started here or was running already.
        presentation->Close();
        presentation.reset();
        app->Quit();
        app.reset();

        // A page calling the import directly chooses the sizes: no markup from them.
        const QString width = HtmlCleaner::escapeAttribute(ctx.pictureWidth());
        const QString height = HtmlCleaner::escapeAttribute(ctx.pictureHeight());
        QString content;
        Tag slide;
        for (int32_t i = 1; i <= n; ++i) {
            slide.setTagName(QStringLiteral("IMG"));
            slide.SetAttribute(QStringLiteral("src"), QLatin1Char('/') + word + QString::number(i) + QStringLiteral(".jpg"));
            const QString answer = HtmlCleaner::escapeAttribute(c.UploadPicture(slide));
            content += QStringLiteral("<img src=\"") + answer + QStringLiteral("\" width=\"") + width
                + QStringLiteral("\" height=\"") + height + QStringLiteral("\">") + PAGE_SEPARATOR;
        }
        ctx.PostArticle(colID, util::GetFileName(fileDoc), content, UserName);
        return 1;
    });
}

} // namespace tx
