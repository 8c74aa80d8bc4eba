#include "imageimport/ThumbnailSize.h"

#include "core/AutomationError.h"

#include <cmath>
#include <optional>

namespace tx::image {
namespace {

constexpr int32_t kErrDivisionByZero = 11;

std::optional<double> parseNumber(const QString &text)
{
    const QString t = text.trimmed();
    if (t.isEmpty())
        return std::nullopt;
    bool ok = false;
    const double v = t.toDouble(&ok);
    if (!ok || !std::isfinite(v))
        return std::nullopt;
    return v;
}

double divide(double a, double b)
{
    if (b == 0) {
        // 0 / 0 has no value at all; anything else over 0 is a division by zero.
        if (a == 0)
            raiseRuntime(ErrOverflow, QStringLiteral("0 / 0"));
        throw AutomationError(kErrDivisionByZero, QStringLiteral("Tessarix5"), QStringLiteral("Division by zero"));
    }
    return a / b;
}

struct Percentage {
    const char16_t *text;
    double factor;
};
constexpr Percentage kPercentages[] = {
    {u"80%", 0.8}, {u"60%", 0.6}, {u"50%", 0.5}, {u"40%", 0.4},
    {u"30%", 0.3}, {u"25%", 0.25}, {u"20%", 0.2}, {u"10%", 0.1},
};

} // namespace

bool isNumeric(const QString &text)
{
    return parseNumber(text).has_value();
}

int toInt16(double value)
{
    const double r = std::nearbyint(value); // ties to even
    if (!(r >= -32768.0 && r <= 32767.0))
        raiseRuntime(ErrOverflow, QString::number(value));
    return int(r);
}

int textToInt16(const QString &text)
{
    const std::optional<double> v = parseNumber(text);
    if (!v)
        raiseRuntime(ErrTypeMismatch, QLatin1Char('"') + text + QLatin1Char('"'));
    return toInt16(*v);
}

int pixelsFromHimetric(qint64 himetric)
{
    return toInt16(double(himetric) / 26.46);
}

QSize thumbnailSize(const QString &scaleText, const QString &widthText, const QString &heightText,
                    int w0, int h0)
{
    if (scaleText == u"指定宽度和高度")
        return QSize(textToInt16(widthText), textToInt16(heightText));
    if (scaleText == u"指定宽度，约束比例") {
        const int w = textToInt16(widthText);
        return QSize(w, toInt16(h0 * divide(w, w0)));
    }
    if (scaleText == u"指定高度，约束比例") {
        const int h = textToInt16(heightText);
        return QSize(toInt16(w0 * divide(h, h0)), h);
    }
    for (const Percentage &p : kPercentages) {
        if (scaleText == p.text)
            return QSize(toInt16(w0 * p.factor), toInt16(h0 * p.factor));
    }
    return QSize(w0, h0);
}

} // namespace tx::image
