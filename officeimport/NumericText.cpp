#include "officeimport/NumericText.h"

#include "core/AutomationError.h"

#include <cmath>

namespace tx {

std::optional<double> numericValue(const QString &text)
{
    const QString t = text.trimmed();
    if (t.isEmpty())
        return std::nullopt;
    bool ok = false;
    if (t.startsWith(QLatin1Char('&')) && t.size() > 2) {
        const QChar kind = t[1].toUpper();
        const int base = kind == QLatin1Char('H') ? 16 : kind == QLatin1Char('O') ? 8 : 0;
        if (base == 0)
            return std::nullopt;
        const qlonglong v = t.mid(2).toLongLong(&ok, base);
        return ok ? std::optional<double>(double(v)) : std::nullopt;
    }
    const double v = t.toDouble(&ok);
    if (!ok || !std::isfinite(v))
        return std::nullopt;
    return v;
}

int32_t toInt32(const QString &text)
{
    const std::optional<double> v = numericValue(text);
    if (!v)
        raiseRuntime(ErrTypeMismatch, QStringLiteral("\"%1\" is not a number").arg(text));
    const double r = std::nearbyint(*v); // ties to even
    if (r < -2147483648.0 || r > 2147483647.0)
        raiseRuntime(ErrOverflow, text);
    return int32_t(r);
}

} // namespace tx
