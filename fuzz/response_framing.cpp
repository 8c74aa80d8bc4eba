// fuzz-deps: tx_upload
// A response fed whole and fed in arbitrary pieces must frame the same way.
#include "upload/ResponseFramer.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const size_t step = data[0] % 17 + 1;
    const char *text = reinterpret_cast<const char *>(data + 1);
    const qsizetype n = qsizetype(size - 1);

    tx::ResponseFramer whole;
    whole.feed(QByteArrayView(text, n));
    tx::ResponseFramer pieces;
    for (qsizetype i = 0; i < n; i += qsizetype(step))
        pieces.feed(QByteArrayView(text + i, qMin<qsizetype>(qsizetype(step), n - i)));
    if (whole.complete() != pieces.complete() || whole.response() != pieces.response())
        abort();
    whole.closed();
    pieces.closed();
    if (whole.response() != pieces.response() || whole.cutShort() != pieces.cutShort()
        || whole.response().size() > n)
        abort();
    return 0;
}
