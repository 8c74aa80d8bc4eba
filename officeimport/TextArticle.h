#pragma once
// The rules that turn a plain text into an article: a title line and an author
// line at its top, the rest as HTML lines.
#include <QString>

namespace tx {

struct TextArticle {
    QString title;   // "尚未设置" when the text names none
    QString content; // HTML, ended by PAGE_SEPARATOR
};

// Lines end at CR LF. The first non-empty line is the title when it says so
// ("标题" or "title", then an optional colon) or is short; the next non-empty line
// is an author line when it says so ("作者" or "author") or is short, and is
// dropped; the body starts at the first line that is neither. Spaces become
// "&nbsp;" and line ends "<br>"; nothing else is escaped.
TextArticle textToArticle(const QString &text);

} // namespace tx
