#include "upload/Utf8.h"

#include "core/CodePage.h"

namespace tx {

EncodedText EncodeText(const QString &text, int codePage)
{
    EncodedText out;
    if (text.isEmpty())
        return out;
    out.bytes = codePage == 65001 ? text.toUtf8() : codepage::encodeAs(text, QString::number(codePage));
    out.ok = !out.bytes.isEmpty();
    return out;
}

} // namespace tx
