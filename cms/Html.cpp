#include "cms/Html.h"

namespace tx::cms::html {

QString escape(const QString &text)
{
    QString out;
    out.reserve(text.size() + text.size() / 8);
    for (QChar c : text) {
        switch (c.unicode()) {
        case u'&': out += QLatin1String("&amp;"); break;
        case u'<': out += QLatin1String("&lt;"); break;
        case u'>': out += QLatin1String("&gt;"); break;
        case u'"': out += QLatin1String("&quot;"); break;
        case u'\'': out += QLatin1String("&#39;"); break;
        default: out += c;
        }
    }
    return out;
}

QString attribute(const QString &value)
{
    static const QString special = QStringLiteral(" \t\r\n\f\"'<>=`&");
    bool bare = !value.isEmpty();
    for (QChar c : value)
        bare = bare && !special.contains(c);
    return bare ? value : QLatin1Char('"') + escape(value) + QLatin1Char('"');
}

} // namespace tx::cms::html
