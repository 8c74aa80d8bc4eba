#pragma once
// Text helpers whose exact rules the import algorithms depend on.
#include <QString>
#include <QStringView>

namespace tx::util {

// Spaces (U+0020 only) removed at both ends; tabs and line ends stay.
QStringView trimSpaces(QStringView text);

// Lower case code unit by code unit, so that every position of the text is kept
// (QString::toLower maps some characters, such as U+0130, to two units).
QString lowerUnits(QStringView text);

// The lower case of one code unit, as lowerUnits gives it.
inline QChar lowerUnit(QChar c)
{
    const char16_t u = c.unicode();
    if (u < 0x80)
        return QChar(u >= 'A' && u <= 'Z' ? char16_t(u + 32) : u);
    // Kana, CJK, Yi and the like have no case: the bulk of a Chinese document.
    if (u >= 0x3000 && u < 0xA640)
        return c;
    return c.toLower();
}

} // namespace tx::util
