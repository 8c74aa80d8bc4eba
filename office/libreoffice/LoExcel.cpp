// The spreadsheet program on Calc: the workbook exported once as HTML and split
// into one file per worksheet, as a web page of several sheets is laid out.
#include "HtmlExport.h"
#include "office/WorkFolders.h"
#include "LoApps.h"
#include "LoDocument.h"
#include "UnoText.h"
#include "core/AutomationError.h"
#include "office/OfficeConstants.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/container/XNamed.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <cerrno>

namespace tx::office::lo {
namespace {

using css::uno::Reference;
using css::uno::UNO_QUERY_THROW;

Reference<css::container::XIndexAccess> sheetsOf(const LoDocument &doc)
{
    Reference<css::sheet::XSpreadsheetDocument> d(doc.model, UNO_QUERY_THROW);
    return Reference<css::container::XIndexAccess>(d->getSheets(), UNO_QUERY_THROW);
}

// Worker: whether each sheet is shown, in sheet order.
QList<bool> visibility(const LoDocument &doc)
{
    auto sheets = sheetsOf(doc);
    QList<bool> out;
    for (sal_Int32 i = 0; i < sheets->getCount(); ++i) {
        Reference<css::beans::XPropertySet> sheet(sheets->getByIndex(i), UNO_QUERY_THROW);
        bool shown = true;
        sheet->getPropertyValue("IsVisible") >>= shown;
        out << shown;
    }
    return out;
}

class CalcWorkbook final : public ExcelWorkbook {
public:
    CalcWorkbook(LoSession &s, std::shared_ptr<LoDocument> doc) : s(s), doc(std::move(doc)) {}
    ~CalcWorkbook() override { LoDocument::release(s, std::move(doc)); }

    void SaveAs(const QString &fileName, int fileFormat, int) override
    {
        if (fileFormat == xlOpenXMLWorkbook) {
            s.call(QStringLiteral("Workbook.SaveAs"),
                   [d = doc, fileName] { d->storeTo(fileName, "Calc MS Excel 2007 XML"); });
            return;
        }
        if (fileFormat != xlHtml)
            raiseRuntime(ErrInvalidCall, QStringLiteral("SaveAs format %1").arg(fileFormat));
        const QList<bool> visible = s.call(QStringLiteral("Workbook.SaveAs"), [d = doc, fileName] {
            d->storeTo(fileName, "HTML (StarCalc)");
            return visibility(*d);
        });
        const int count = int(visible.size());
        QByteArray html = readWhole(fileName);
        const QString folder = supportingFolder(fileName);
        // Addresses relative to the work folder, where the web page lies.
        movePictures(fileName, html, folder, QFileInfo(folder).fileName());
        writeWhole(fileName, html);
        if (count < 2)
            return;
        if (!QDir().mkpath(folder))
            throw fileError(EACCES, folder);
        // The export leaves hidden sheets out: its k-th section is the k-th
        // visible sheet, written under that sheet's own number.
        const QList<QByteArray> sections = splitSheets(html, int(visible.count(true)));
        for (int i = 0, k = 0; i < count; ++i)
            if (visible[i])
                writeWhole(folder + QStringLiteral("/sheet%1.htm").arg(i + 1, 3, 10, QLatin1Char('0')), sections[k++]);
    }
    int32_t WorksheetsCount() override
    {
        return s.call(QStringLiteral("Workbook.Worksheets.Count"),
                      [d = doc] { return int32_t(sheetsOf(*d)->getCount()); });
    }
    QString WorksheetsName(int index) override
    {
        return s.call(QStringLiteral("Workbook.Worksheets.Name"), [d = doc, index] {
            auto sheets = sheetsOf(*d);
            if (index < 1 || index > sheets->getCount())
                raiseRuntime(ErrSubscript, QStringLiteral("Worksheets(%1)").arg(index));
            Reference<css::container::XNamed> sheet(sheets->getByIndex(index - 1), UNO_QUERY_THROW);
            return qs(sheet->getName());
        });
    }
    bool WorksheetsVisible(int index) override
    {
        return s.call(QStringLiteral("Workbook.Worksheets.Visible"), [d = doc, index] {
            const QList<bool> visible = visibility(*d);
            if (index < 1 || index > visible.size())
                raiseRuntime(ErrSubscript, QStringLiteral("Worksheets(%1)").arg(index));
            return visible[index - 1];
        });
    }
    void Close() override { LoDocument::close(s, doc, QStringLiteral("Workbook.Close")); }

private:
    LoSession &s;
    std::shared_ptr<LoDocument> doc;
};

class CalcExcel final : public ExcelApplication {
public:
    explicit CalcExcel(LoSession &s) : s(s) {}
    std::unique_ptr<ExcelWorkbook> WorkbooksOpen(const QString &fileName) override
    {
        return std::make_unique<CalcWorkbook>(s, LoDocument::open(s, fileName, QStringLiteral("Workbooks.Open")));
    }
    void SetDisplayAlerts(bool) override {}

private:
    LoSession &s;
};

} // namespace

std::unique_ptr<ExcelApplication> makeCalcExcel(LoSession &s)
{
    return std::make_unique<CalcExcel>(s);
}

} // namespace tx::office::lo
