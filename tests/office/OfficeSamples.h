#pragma once
// Office documents written by the tests themselves as flat ODF XML, so that
// LibreOffice can turn them into .docx, .pptx and .xlsx at test time.
#include <QByteArray>
#include <QString>
#include <QStringList>

namespace samples {

// A small PNG picture of one colour.
QByteArray png(int width, int height);

// `pages` pages, each holding "Marker page <i>"; a picture on page `picturePage`
// (0 for none).
void writeText(const QString &path, int pages, int picturePage);
// One slide per entry of `titles`, in the language `lang`-`country`.
void writePresentation(const QString &path, const QStringList &titles, const QString &lang,
                       const QString &country);
// One sheet per name, each with the cell "Marker sheet <i>"; a picture on sheet
// `pictureSheet` (0 for none); sheet `hiddenSheet` hidden (0 for none).
void writeSpreadsheet(const QString &path, const QStringList &names, int pictureSheet, int hiddenSheet = 0);

// A text document of one feature, its text marked "Marker <feature>": "comments",
// "footnotes", "endnotes", "lists", "tables", "textboxes", "picture", "empty"
// (no text at all).
void writeFeature(const QString &path, const QString &feature);

// Four pages, each holding "Marker page <i>", and what the page cut stumbles on:
// a table opening the text ("Cell 0"), a footnote ("The note") on page 2, a list
// ("Listed") on page 3, a table ("Cell A") opening page 4.
void writeMixed(const QString &path);

// Running text of `paragraphs` paragraphs of about a hundred words, breaking
// across pages wherever the layout puts it (about four to a page). With
// `features`, a header and a footer, and on the way a footnote every fifth
// paragraph, an endnote, a list, a table, a picture, a link and bold text
// running over several lines.
void writeProse(const QString &path, int paragraphs, bool features);

// A .docx written from its XML text: "strict" (strict OOXML, which LibreOffice
// reads but cannot write) or "linked" (a picture linked by the relative path
// "tiny-picture.png", not embedded), both holding the text "Marker <kind>";
// or "commented": two pages, "Marker page 1" and "Marker page 2", with
// comments ("… remark", "A reply") as Word writes them: ranged, a reply, one
// without a range, one running over the page break.
void writeDocx(const QString &path, const QString &kind);

} // namespace samples
