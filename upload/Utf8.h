#pragma once
// Text to the bytes of a code page (65001 = UTF-8), as field values travel.
#include <QByteArray>
#include <QString>

namespace tx {

struct EncodedText {
    QByteArray bytes;
    bool ok = false; // false for an empty text: nothing was produced
};

EncodedText EncodeText(const QString &text, int codePage);

} // namespace tx
