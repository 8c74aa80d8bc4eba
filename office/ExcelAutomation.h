#pragma once
// The spreadsheet program as the conversions drive it: Excel.Application.
#include <QString>
#include <cstdint>
#include <memory>

namespace tx::office {

class ExcelWorkbook {
public:
    virtual ~ExcelWorkbook() = default;
    // SaveAs(Filename, FileFormat, AccessMode). xlHtml with several worksheets
    // writes "sheet001.htm"… into the folder named by replacing ".tmp" with
    // ".files", the number being the worksheet's index (none for a hidden one),
    // their pictures' addresses relative to FileName's folder; one worksheet is
    // written into FileName itself.
    virtual void SaveAs(const QString &fileName, int fileFormat, int accessMode) = 0;
    // Worksheets.Count
    virtual int32_t WorksheetsCount() = 0;
    // Worksheets(index).Name, index from 1.
    virtual QString WorksheetsName(int index) = 0;
    // Worksheets(index).Visible: a hidden sheet is written as no sheet file.
    virtual bool WorksheetsVisible(int index) = 0;
    // Close with all arguments omitted: changes are discarded (alerts are off).
    virtual void Close() = 0;
};

class ExcelApplication {
public:
    virtual ~ExcelApplication() = default;
    virtual std::unique_ptr<ExcelWorkbook> WorkbooksOpen(const QString &fileName) = 0;
    virtual void SetDisplayAlerts(bool alerts) = 0;
};

} // namespace tx::office
