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

} // namespace tx::util
