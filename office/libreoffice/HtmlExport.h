#pragma once
// Puts what LibreOffice's HTML export writes where the office programs' callers
// expect it: pictures in a supporting folder, one file per worksheet.
#include <QByteArray>
#include <QList>
#include <QString>

namespace tx::office::lo {

// Moves the pictures that the export of `htmlPath` wrote beside it
// ("<name>_html_<hash>.png") into `folder` (emptied first) and points their
// addresses in `html` at `ref` + "/" + name. Returns the pictures' names.
QStringList movePictures(const QString &htmlPath, QByteArray &html, const QString &folder,
                         const QString &ref);

// Splits a workbook exported as one HTML file into one document per sheet: the
// export's head, then the sheet's heading and table. Sheets the export did not
// write come out with an empty body, so that `count` files can be written.
QList<QByteArray> splitSheets(const QByteArray &html, int count);

// Reads or writes a whole file; throws the file error.
QByteArray readWhole(const QString &path);
void writeWhole(const QString &path, const QByteArray &bytes);

} // namespace tx::office::lo
