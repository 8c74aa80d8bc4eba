#include "util/Text.h"

namespace tx::util {

QStringView trimSpaces(QStringView text)
{
    qsizetype b = 0;
    qsizetype e = text.size();
    while (b < e && text[b] == QLatin1Char(' '))
        ++b;
    while (e > b && text[e - 1] == QLatin1Char(' '))
        --e;
    return text.sliced(b, e - b);
}

QString lowerUnits(QStringView text)
{
    QString out(text.size(), Qt::Uninitialized);
    QChar *d = out.data();
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t u = text[i].unicode();
        // ASCII first: it is nearly all of an office document.
        if (u < 0x80)
            d[i] = QChar(u >= 'A' && u <= 'Z' ? char16_t(u + 32) : u);
        else
            d[i] = text[i].toLower();
    }
    return out;
}

} // namespace tx::util
