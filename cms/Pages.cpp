#include "cms/Pages.h"

#include "cms/Html.h"

namespace tx::cms::pages {
namespace {

using html::escape;

QString frame(const QString &title, const QString &body)
{
    return QStringLiteral(
               "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>%1</title>\n"
               "<style>body{font-family:sans-serif;margin:2em}table{border-collapse:collapse}"
               "td,th{border:1px solid #ccc;padding:4px 8px;text-align:left}"
               "iframe{width:100%;height:32em;border:1px solid #ccc}</style>\n"
               "</head><body>\n%2</body></html>\n")
        .arg(escape(title), body);
}

} // namespace

QString index(const std::vector<Article> &articles)
{
    QString rows;
    for (const Article &a : articles) {
        rows += QStringLiteral("<tr><td>%1</td><td><a href=\"/article/%1\">%2</a></td><td>%3</td>"
                               "<td>%4</td><td>%5</td><td>%6</td></tr>\n")
                    .arg(QString::number(a.id),
                         a.title.trimmed().isEmpty() ? QStringLiteral("(no title)") : escape(a.title),
                         escape(a.author), escape(a.columnId),
                         QString::number(a.pages), escape(a.created));
    }
    const QString body = QStringLiteral("<h1>Articles</h1>\n<table>\n<tr><th>Id</th><th>Title</th>"
                                        "<th>Author</th><th>Column</th><th>Pages</th><th>Time</th></tr>\n")
        + rows + QStringLiteral("</table>\n");
    return frame(QStringLiteral("Articles"), body);
}

QString article(const Article &a)
{
    QString body = QStringLiteral("<p><a href=\"/\">All articles</a></p>\n<h1>%1</h1>\n")
                       .arg(escape(a.title));
    body += QStringLiteral("<p>Author: %1 &middot; Column: %2 &middot; Issue: %3 &middot; Type: %4 "
                           "&middot; Folder: %5 &middot; Time: %6</p>\n")
                .arg(escape(a.author), escape(a.columnId), escape(a.issueId), escape(a.objectType),
                     escape(a.curPath), escape(a.created));
    const QStringList pages = pagesOf(a.content);
    for (qsizetype i = 0; i < pages.size(); ++i) {
        body += QStringLiteral("<section class=\"page\" id=\"page-%1\"><h2>Page %1 of %2</h2>\n"
                               "<iframe sandbox srcdoc=\"%3\"></iframe></section>\n")
                    .arg(QString::number(i + 1), QString::number(pages.size()),
                         escape(QStringLiteral("<meta charset=\"utf-8\">") + pages[i]));
    }
    return frame(a.title, body);
}

} // namespace tx::cms::pages
