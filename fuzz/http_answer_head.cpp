// fuzz-deps: tx_upload
// The head of the answer the controls read, up to its size limit: the input
// (repeated as its first byte says, to pass the limit) fed to the framer. The
// status code is always the one reading of the status line, interim answers are
// passed over only when that reading says 1xx, a head not ended within the limit
// is an overflow with nothing kept but the first line, and a complete head's
// first line is the response's.
#include "upload/ResponseFramer.h"
#include "util/HttpStatus.h"

#include <cstdint>
#include <cstdlib>

namespace {

void check(bool ok)
{
    if (!ok)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const int repeats = data[0] % 64 + 1;
    const QByteArray piece(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));

    tx::ResponseFramer framer;
    for (int i = 0; i < repeats && !framer.complete(); ++i) {
        framer.feed(piece);
        const int code = framer.statusCode();
        check(code == tx::http::statusCode(framer.statusLine()));
        check(code == 0 || (code >= 100 && code <= 999));
        if (framer.headComplete() && !framer.overflow())
            check((code < 100 || code >= 200) && framer.response().startsWith(framer.statusLine() + "\r\n"));
        if (framer.overflow())
            check(framer.complete() && framer.response().isEmpty());
    }
    // Nothing the head says makes a 204 or 304 wait for a body.
    if (framer.headComplete() && !framer.overflow() && (framer.statusCode() == 204 || framer.statusCode() == 304))
        check(framer.complete());
    framer.closed();
    check(framer.complete());
    return 0;
}
