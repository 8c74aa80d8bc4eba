#include "upload/UploadUrl.h"

#include "core/AutomationError.h"

#include <cmath>

namespace tx {

namespace {

[[noreturn]] void badUrl()
{
    throw AutomationError(kErrBadUrl, QStringLiteral("Error"), QStringLiteral("错误的URL"));
}

} // namespace

UploadUrl parseUploadUrl(const QString &url)
{
    // https on purpose: documents must not cross a network in clear text.
    const bool secure = url.left(8).toLower() == QLatin1String("https://");
    if (!secure && url.left(7).toLower() != QLatin1String("http://"))
        badUrl();
    const qsizetype start = secure ? 8 : 7;
    const QString defaultPort = secure ? QStringLiteral("443") : QStringLiteral("80");
    // Host and path go into the request line and head as they stand: a control
    // character would end a line there and start one of the URL's choosing.
    for (QChar c : url)
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            badUrl();
    UploadUrl out;
    out.secure = secure;
    const qsizetype slash = url.indexOf(QLatin1Char('/'), start);
    if (slash >= 0) {
        out.host = url.mid(start, slash - start);
        out.path = url.mid(slash);
    } else {
        out.host = url.mid(start);
        out.path = QStringLiteral("/");
    }
    out.port = defaultPort;
    const qsizetype colon = out.host.indexOf(QLatin1Char(':'));
    if (colon >= 0) {
        const QString digits = out.host.mid(colon + 1).trimmed();
        bool ok = false;
        const double value = digits.toDouble(&ok);
        if (!ok || digits.isEmpty() || !std::isfinite(value))
            raiseRuntime(ErrTypeMismatch, QStringLiteral("port \"%1\"").arg(digits));
        const double rounded = std::nearbyint(value); // halves to even, as the conversion does
        if (rounded < -2147483648.0 || rounded > 2147483647.0)
            raiseRuntime(ErrOverflow, QStringLiteral("port \"%1\"").arg(digits));
        if (rounded < 0 || rounded > 65535)
            raiseRuntime(ErrInvalidCall, QStringLiteral("port %1 is out of range").arg(digits));
        out.port = QString::number(qint32(rounded));
        out.host = out.host.left(colon);
    }
    if (out.port.toInt() == 0)
        out.port = defaultPort;
    if (out.host.contains(QLatin1Char(' ')))
        badUrl();
    // A space would split the request line.
    out.path.replace(QLatin1Char(' '), QLatin1String("%20"));
    return out;
}

} // namespace tx
