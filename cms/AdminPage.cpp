#include "cms/AdminPage.h"

#include "cms/Html.h"

#include <QFile>

namespace tx::cms::admin {
namespace {

QByteArray resource(const QString &name)
{
    QFile f(QStringLiteral(":/tessarix-admin/") + name);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

} // namespace

QString articleList(const std::vector<Article> &articles)
{
    if (articles.empty())
        return QStringLiteral("<p id=\"no-articles\">No articles yet.</p>");
    QString rows;
    for (const Article &a : articles) {
        rows += QStringLiteral("<tr><td>%1</td><td><a href=\"/article/%1\" target=\"_blank\">%2</a></td>"
                               "<td>%3</td><td>%4</td></tr>\n")
                    .arg(QString::number(a.id),
                         a.title.trimmed().isEmpty() ? QStringLiteral("(no title)") : html::escape(a.title),
                         QString::number(a.pages), html::escape(a.created));
    }
    return QStringLiteral("<table id=\"articles\"><tr><th>Id</th><th>Title</th><th>Pages</th><th>Time</th></tr>\n")
        + rows + QStringLiteral("</table>");
}

QByteArray policy(const Settings &settings)
{
    QByteArray csp = "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self'; "
                     "connect-src 'self' http://127.0.0.1:* ws://127.0.0.1:* http://localhost:* "
                     "ws://localhost:*; base-uri 'none'; form-action 'none'; frame-ancestors 'none'";
    if (settings.publicAddress)
        csp += "; treat-as-public-address";
    return csp;
}

std::optional<Answer> file(const QString &path, const Settings &settings,
                           const std::vector<Article> &articles)
{
    if (path == QLatin1String("/admin/") || path == QLatin1String("/admin/index.html")) {
        QString page = QString::fromUtf8(resource(QStringLiteral("index.html")));
        page.replace(QLatin1String("{{SCRIPTS}}"), html::escape(settings.scriptBase));
        page.replace(QLatin1String("{{ARTICLES}}"), articleList(articles));
        return Answer{page.toUtf8(), "text/html; charset=utf-8"};
    }
    if (path == QLatin1String("/admin/articles"))
        return Answer{articleList(articles).toUtf8(), "text/html; charset=utf-8"};
    static const struct {
        const char *name, *type;
    } files[] = {{"admin.js", "text/javascript; charset=utf-8"},
                 {"admin.css", "text/css; charset=utf-8"},
                 {"tessarix.js", "text/javascript; charset=utf-8"},
                 {"tessarix.mjs", "text/javascript; charset=utf-8"},
                 {"tessarix.d.ts", "text/plain; charset=utf-8"}};
    for (const auto &f : files) {
        if (path == QLatin1String("/admin/") + QLatin1String(f.name))
            return Answer{resource(QLatin1String(f.name)), f.type};
    }
    return std::nullopt;
}

} // namespace tx::cms::admin
