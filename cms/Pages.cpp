#include "cms/Pages.h"

#include "cms/Html.h"

namespace tx::cms::pages {
namespace {

using html::escape;

QString frame(const QString &title, const QString &body)
{
    return QStringLiteral(
               "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">\n"
               "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
               "<meta name=\"color-scheme\" content=\"light dark\"><title>%1</title>\n"
               "<link rel=\"icon\" href=\"/favicon.ico\" type=\"image/svg+xml\">\n"
               "<style>body{font-family:sans-serif;margin:1em clamp(.5em,3vw,2em);overflow-wrap:anywhere}"
               "table{border-collapse:collapse;display:block;overflow-x:auto;max-width:100%}"
               "td,th{border:1px solid #888;padding:4px 8px;text-align:left}"
               "iframe{width:100%;height:70vh;min-height:12em;border:1px solid #888;resize:vertical;"
               "background:#fff}@media(prefers-color-scheme:dark){body{background:#161616;color:#e8e8e8}a{color:#8ab4ff}a:visited{color:#c5a8ff}}"
               "</style>\n"
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
    const QString body = QStringLiteral("<h1>Articles</h1>\n<p><a href=\"/admin/\">The editor's page</a>: "
                                        "upload files and pictures, import documents.</p>\n<table>\n<tr><th>Id</th><th>Title</th>"
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
                               "<iframe sandbox srcdoc=\"%3\" title=\"Page %1 of %2\"></iframe></section>\n")
                    .arg(QString::number(i + 1), QString::number(pages.size()),
                         escape(QStringLiteral("<meta charset=\"utf-8\">") + pages[i]));
    }
    return frame(a.title, body);
}

QByteArray favicon()
{
    // A tile with a T, in the editor's page's colours.
    return "<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 16 16\">"
           "<rect width=\"16\" height=\"16\" rx=\"3\" fill=\"#1a5fd0\"/>"
           "<path d=\"M3 3h10v2.5H9.3V13H6.7V5.5H3z\" fill=\"#fff\"/></svg>";
}

} // namespace tx::cms::pages
