#pragma once
// Cuts one HTML export of a text document into its pages at the marks put at
// each page start before the export. No UNO here: bytes in, pages out.
#include <QByteArray>
#include <QList>
#include <optional>

namespace tx::office::lo {

// The text put at the start of page `page` (2 and on) before the export: two
// private-use characters around the number, which no document is expected to
// hold and the export writes as they are.
QByteArray pageMark(int page);

struct SplitPages {
    QByteArray head;    // up to the body
    QByteArray bodyTag; // "<body …>"
    // Page i at i-1: well-formed (the elements open at a cut are closed there
    // and opened again on the next page), followed by the footnotes and
    // endnotes it cites; the export's header and footer are left out, as a
    // page copied into a new document has none.
    QList<QByteArray> pages;
};

// Nothing when the marks of pages 2 to `pages` are not all there exactly once
// and in order in the body's text (the caller then cuts the pages otherwise).
std::optional<SplitPages> splitAtPageMarks(const QByteArray &html, int pages);

} // namespace tx::office::lo
