#include "shell/com/Guid.h"

namespace tx::com {

QString Guid::toString() const
{
    QString s = QStringLiteral("{%1-%2-%3-")
                    .arg(data1, 8, 16, QLatin1Char('0'))
                    .arg(data2, 4, 16, QLatin1Char('0'))
                    .arg(data3, 4, 16, QLatin1Char('0'));
    for (int i = 0; i < 8; ++i) {
        if (i == 2)
            s += QLatin1Char('-');
        s += QStringLiteral("%1").arg(data4[size_t(i)], 2, 16, QLatin1Char('0'));
    }
    s += QLatin1Char('}');
    return s.toUpper();
}

std::optional<Guid> Guid::fromString(QStringView text)
{
    if (text.size() != 38 || text.front() != u'{' || text.back() != u'}')
        return std::nullopt;
    const QStringView body = text.mid(1, 36);
    for (qsizetype i = 0; i < body.size(); ++i) {
        const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        const char16_t c = body[i].unicode();
        const bool hex = (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
        if (dash ? c != u'-' : !hex)
            return std::nullopt;
    }
    return assembleGuid([&](qsizetype from, qsizetype digits) {
        return body.mid(from, digits).toUInt(nullptr, 16);
    });
}

} // namespace tx::com
