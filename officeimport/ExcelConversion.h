#pragma once
// A workbook to one article, one page per worksheet: written as a web page by the
// spreadsheet program, each sheet cleaned with its pictures uploaded, tables given
// black borders.
#include <QString>

namespace tx {

class ImportContext;

class ExcelConversion {
public:
    explicit ExcelConversion(ImportContext &context) : ctx(context) {}

    int import(const QString &fileDoc, const QString &colID, const QString &UserName);

    // "sheet012.htm" for sheet 12; sheets beyond 999 have no such name (error 5).
    static QString sheetFileName(int index);
    // Tables written back with border="0" get visible black borders.
    static QString withBorders(QString body);

private:
    // Cleans the sheet file's HTML; returns the clean body with borders.
    QString cleanSheet(const QString &path);

    ImportContext &ctx;
};

} // namespace tx
