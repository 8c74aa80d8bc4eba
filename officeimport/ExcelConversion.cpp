#include "officeimport/ExcelConversion.h"

#include "officeimport/ConversionSteps.h"
#include "officeimport/HtmlCleaner.h"
#include "officeimport/ImportContext.h"
#include "util/PageSeparator.h"
#include "core/AutomationError.h"
#include "office/OfficeBackend.h"
#include "office/OfficeConstants.h"
#include "util/FileUtils.h"

#include <QFileInfo>

namespace tx {

using namespace office;

QString ExcelConversion::sheetFileName(int index)
{
    if (index < 1 || index > 999)
        raiseRuntime(ErrInvalidCall, QStringLiteral("no sheet file name for sheet %1").arg(index));
    return QStringLiteral("sheet%1.htm").arg(index, 3, 10, QLatin1Char('0'));
}

QString ExcelConversion::withBorders(QString body)
{
    return body.replace(QStringLiteral("border=\"0\""), QStringLiteral("borderColor=#000000 border=1"));
}

QString ExcelConversion::cleanSheet(const QString &path)
{
    HtmlCleaner &c = ctx.cleaner();
    c.strSourceHtml = util::ReadTextFile(path);
    c.CleanHtml();
    c.strCleanBody = withBorders(c.strCleanBody);
    return c.strCleanBody;
}

int ExcelConversion::import(const QString &fileDoc, const QString &colID, const QString &UserName)
{
    return conversion::convert(fileDoc, [&] {
        conversion::checkColumnId(colID);
        HtmlCleaner &c = ctx.cleaner();
        c.lngContentId = -1;
        Backend &office = backend();
        std::unique_ptr<ExcelApplication> app = conversion::attachOrCreate<ExcelApplication>(
            [&] { return office.attachExcel(); }, [&] { return office.createExcel(); });

        // Relative picture addresses of every sheet resolve against the work folder.
        conversion::WorkFiles work;
        const QString webFile = conversion::startWorkFile(c, work, fileDoc);

        std::unique_ptr<ExcelWorkbook> workbook = app->WorkbooksOpen(fileDoc);
        app->SetDisplayAlerts(false);
        workbook->SaveAs(webFile, xlHtml, xlNoChange);
        const QString sheetsFolder = conversion::filesFolder(webFile) + QLatin1Char('/');
        const int32_t n = workbook->WorksheetsCount();
        if (n > 0) {
            // Each sheet file belongs to its own worksheet: a hidden one has none
            // and gives no page, and shifts no other sheet's page.
            QList<int32_t> visible;
            for (int32_t i = 1; i <= n; ++i)
                if (workbook->WorksheetsVisible(i))
                    visible << i;
            QString content;
            if (visible.isEmpty() || !QFileInfo::exists(sheetsFolder + sheetFileName(visible.first()))) {
                content = cleanSheet(webFile) + PAGE_SEPARATOR;
            } else {
                for (int32_t i : visible)
                    content += cleanSheet(sheetsFolder + sheetFileName(i)) + PAGE_SEPARATOR;
            }
            ctx.PostArticle(colID, workbook->WorksheetsName(1), content, UserName);
        }
        workbook->Close();
        return 1;
    });
}

} // namespace tx
