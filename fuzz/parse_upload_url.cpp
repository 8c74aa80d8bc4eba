// fuzz-deps: tx_upload
// Any text as an upload URL: either a clean refusal or parts that rebuild a URL
// of the same meaning.
#include "core/AutomationError.h"
#include "upload/UploadUrl.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString url = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    try {
        const tx::UploadUrl u = tx::parseUploadUrl(url);
        const int port = u.port.toInt();
        if (port < 1 || port > 65535 || !u.path.startsWith(QLatin1Char('/')) || u.host.contains(QLatin1Char('/')))
            abort();
        // Nothing that could end or split a line of the request head.
        for (const QString &part : {u.host, u.path})
            for (QChar c : part)
                if (c.unicode() <= 0x20 || c.unicode() == 0x7F)
                    abort();
        // Only the two schemes, each with its default port.
        if (url.left(u.secure ? 8 : 7).toLower() != (u.secure ? QLatin1String("https://") : QLatin1String("http://")))
            abort();
        // The path is the URL's own text from its first "/" after the scheme, with
        // spaces as %20, or "/" when it has none.
        const qsizetype slash = url.indexOf(QLatin1Char('/'), u.secure ? 8 : 7);
        if (slash >= 0 ? QString(url.mid(slash)).replace(QLatin1Char(' '), QLatin1String("%20")) != u.path
                       : u.path != QLatin1String("/"))
            abort();
    } catch (const tx::AutomationError &e) {
        if (e.number != tx::kErrBadUrl && e.number != tx::ErrTypeMismatch && e.number != tx::ErrOverflow
            && e.number != tx::ErrInvalidCall)
            abort();
    }
    return 0;
}
