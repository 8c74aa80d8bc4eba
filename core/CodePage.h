#pragma once
// The legacy 8-bit code page of request heads, part heads, names, paths and
// received text. Chosen by TESSARIX_CODEPAGE (a number such as 936 or 65001, or an
// iconv name); 936 (GBK) by default.
#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

namespace tx::codepage {

// The iconv name in use, for example "CP936".
QString name();

// Replaces the code page for the rest of the process (tests, the host's options).
// Accepts what TESSARIX_CODEPAGE accepts; returns false when iconv does not know it.
bool select(const QString &codePage);

// A character the code page cannot hold becomes "?".
QByteArray encode(QStringView text);
// An invalid or incomplete byte sequence becomes U+FFFD.
QString decode(QByteArrayView bytes);

// Text in an explicit code page (65001 = UTF-8), with the same replacement rules.
QByteArray encodeAs(QStringView text, const QString &codePage);
QString decodeAs(QByteArrayView bytes, const QString &codePage);

} // namespace tx::codepage
