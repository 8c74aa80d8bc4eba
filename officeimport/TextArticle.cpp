#include "officeimport/TextArticle.h"

#include "util/PageSeparator.h"
#include "util/Text.h"

#include <QStringList>

namespace tx {
namespace {

using util::trimSpaces;

constexpr qsizetype kShortTitle = 30;
constexpr qsizetype kShortAuthor = 5;

// The value of a "key: value" line whose key is `keyLength` units long: trimmed,
// one full-width or ASCII colon removed, trimmed again.
QString labelledValue(QStringView line, qsizetype keyLength)
{
    QStringView v = trimSpaces(line.sliced(std::min(keyLength, line.size())));
    if (v.startsWith(u'：') || v.startsWith(u':'))
        v = trimSpaces(v.sliced(1));
    return v.toString();
}

bool hasLabel(QStringView line, QStringView chinese, QStringView english)
{
    return line.startsWith(chinese)
        || util::lowerUnits(line.left(english.size())) == english;
}

} // namespace

TextArticle textToArticle(const QString &text)
{
    TextArticle article;
    bool titleDone = false;
    bool authorDone = false;
    bool inBody = false;
    QString content;
    const QStringList lines = text.split(QStringLiteral("\r\n"));
    for (const QString &line : lines) {
        if (inBody) {
            content += QLatin1String("<br>");
            content += line;
            continue;
        }
        const QStringView t = trimSpaces(line);
        if (t.isEmpty())
            continue;
        if (!titleDone) {
            titleDone = true;
            if (t.startsWith(u"标题")) {
                article.title = labelledValue(t, 2);
                continue;
            }
            if (util::lowerUnits(t.left(5)) == u"title") {
                article.title = labelledValue(t, 5);
                continue;
            }
            if (t.size() < kShortTitle) {
                article.title = t.toString();
                continue;
            }
        } else if (!authorDone) {
            authorDone = true;
            // The author named in the text is not posted: the caller's user is.
            if (hasLabel(t, u"作者", u"author") || t.size() < kShortAuthor)
                continue;
        }
        content = line;
        inBody = true;
    }
    if (article.title.isEmpty())
        article.title = QStringLiteral("尚未设置");
    content.replace(QLatin1Char(' '), QLatin1String("&nbsp;"));
    content.replace(QLatin1String("\r\n"), QLatin1String("<br>"));
    article.content = content + PAGE_SEPARATOR;
    return article;
}

} // namespace tx
