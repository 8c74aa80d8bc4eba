#include "officeimport/WordConversion.h"

#include "officeimport/ConversionSteps.h"
#include "officeimport/HtmlCleaner.h"
#include "officeimport/ImportContext.h"
#include "util/PageSeparator.h"
#include "core/Pump.h"
#include "office/OfficeBackend.h"
#include "office/OfficeConstants.h"
#include "util/FileUtils.h"

#include <QStringList>

namespace tx {

using namespace office;

WordConversion::WordConversion(ImportContext &context) : ctx(context) {}
WordConversion::~WordConversion() = default;

QString WordConversion::titleOf(const QString &fileDoc)
{
    const QString name = util::GetFileName(fileDoc);
    const qsizetype dot = name.indexOf(QLatin1Char('.'));
    return dot < 0 ? name : name.left(dot);
}

QString WordConversion::dropEmptyPieces(QString body)
{
    body.remove(QStringLiteral("<span>&nbsp;</span>"));
    body.remove(QStringLiteral("<span> </span>"));
    body.remove(QStringLiteral("<p></p>"));
    return body;
}

void WordConversion::start(const QString &fileDoc, const QString &colID)
{
    conversion::checkColumnId(colID);
    HtmlCleaner &c = ctx.cleaner();
    c.lngContentId = -1;
    Backend &office = backend();
    app = conversion::attachOrCreate<WordApplication>([&] { return office.attachWord(); },
                                                      [&] { return office.createWord(); });
    conversion::ignoringErrors([&] { app->SetDisplayAlerts(wdAlertsNone); });
    htmlFile = conversion::startWorkFile(c, work, fileDoc);
    doc = app->DocumentsOpen(fileDoc);
}

void WordConversion::convertSaved()
{
    HtmlCleaner &c = ctx.cleaner();
    c.strSourceHtml = util::ReadTextFile(htmlFile);
    c.strTitle.clear();
    c.CleanHtml();
    c.strCleanBody = dropEmptyPieces(c.strCleanBody);
}

int WordConversion::importWhole(const QString &fileDoc, const QString &colID, const QString &UserName)
{
    return conversion::convert(fileDoc, [&] {
        start(fileDoc, colID);
        doc->SaveAs(htmlFile, wdFormatHTML);
        convertSaved();
        doc->Close(false, false);
        doc.reset();
        app.reset();
        // Whatever title the clean found, the file's name is the title.
        ctx.PostArticle(colID, titleOf(fileDoc), ctx.cleaner().strCleanBody + PAGE_SEPARATOR, UserName);
        return 1;
    });
}

int WordConversion::importPaged(const QString &fileDoc, const QString &colID, const QString &UserName)
{
    return conversion::convert(fileDoc, [&] {
        start(fileDoc, colID);
        HtmlCleaner &c = ctx.cleaner();
        app->SetActiveWindowViewType(wdPrintView);
        doc->Repaginate();
        const int32_t n = doc->BuiltInDocumentProperties(wdPropertyPages);
        // Pages are cut from the last to the first, so that a selection from the
        // start of page i to the end of the story is exactly page i. No page limit.
        QStringList pages(qMax(n, 0));
        for (int32_t i = n; i >= 1; --i) {
            std::unique_ptr<WordDocument> page = app->DocumentsAdd();
            page->WindowsSelection(1)->GoTo(wdGoToPage, 1);
            page->WindowsSelection(1)->EndKey(wdStory, wdExtend);
            doc->WindowsSelection(1)->GoTo(wdGoToPage, i);
            doc->WindowsSelection(1)->EndKey(wdStory, wdExtend);
            doc->WindowsSelection(1)->Copy();
            page->WindowsSelection(1)->Paste();
            doc->WindowsSelection(1)->Delete();
            page->SaveAs(htmlFile, wdFormatHTML);
            // The page's pictures are uploaded here, before the next page overwrites them.
            convertSaved();
            pages[i - 1] = c.strCleanBody;
            page->Close(std::nullopt, std::nullopt);
            page.reset();
            pump::once();
        }
        // Unsaved, so the document on disk keeps all its pages.
        doc->Close(false, false);
        doc.reset();
        app.reset();
        QString content;
        for (const QString &p : pages)
            content += p + PAGE_SEPARATOR;
        // Also for a document of no pages: never the previous import's title.
        ctx.PostArticle(colID, titleOf(fileDoc), content, UserName);
        return 1;
    });
}

} // namespace tx
