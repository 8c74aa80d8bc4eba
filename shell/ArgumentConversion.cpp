#include "shell/ArgumentConversion.h"

#include "core/AutomationError.h"

#include <QLocale>
#include <QRegularExpression>
#include <cmath>
#include <limits>

namespace tx::shell::convert {
namespace {

bool isNumber(const QVariant &v)
{
    switch (v.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
    case QMetaType::Float:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Long:
    case QMetaType::ULong: return true;
    default: return false;
    }
}

QString numberText(double d)
{
    if (std::isnan(d))
        return QStringLiteral("NaN");
    if (std::isinf(d))
        return d > 0 ? QStringLiteral("Infinity") : QStringLiteral("-Infinity");
    if (d == std::trunc(d) && std::fabs(d) < 1e15)
        return QString::number(qint64(d));
    return QString::number(d, 'g', 15).toUpper();
}

int32_t roundToInt32(double d)
{
    if (!std::isfinite(d))
        raiseRuntime(ErrOverflow);
    // The default rounding mode rounds halves to even, as automation does.
    const double r = std::nearbyint(d);
    if (r < double(std::numeric_limits<int32_t>::min()) || r > double(std::numeric_limits<int32_t>::max()))
        raiseRuntime(ErrOverflow);
    return int32_t(r);
}

} // namespace

QString toString(const QVariant &v)
{
    if (!v.isValid())
        return {};
    switch (v.typeId()) {
    case QMetaType::QString: return v.toString();
    case QMetaType::QChar: return v.toString();
    case QMetaType::Bool: return v.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    case QMetaType::LongLong: return QString::number(v.toLongLong());
    case QMetaType::ULongLong: return QString::number(v.toULongLong());
    default: break;
    }
    if (isNumber(v))
        return numberText(v.toDouble());
    raiseRuntime(ErrTypeMismatch);
}

int32_t toInt32(const QVariant &v)
{
    if (!v.isValid())
        return 0;
    if (v.typeId() == QMetaType::Bool)
        return v.toBool() ? -1 : 0;
    if (v.typeId() == QMetaType::QString) {
        static const QRegularExpression numeric(
            QStringLiteral(R"(^\s*[+-]?(\d+\.?\d*|\.\d+)([eE][+-]?\d+)?\s*$)"));
        const QString s = v.toString();
        if (!numeric.match(s).hasMatch())
            raiseRuntime(ErrTypeMismatch);
        return roundToInt32(QLocale::c().toDouble(s.trimmed()));
    }
    if (isNumber(v))
        return roundToInt32(v.toDouble());
    raiseRuntime(ErrTypeMismatch);
}

bool toBool(const QVariant &v)
{
    if (!v.isValid())
        return false;
    if (v.typeId() == QMetaType::Bool)
        return v.toBool();
    if (isNumber(v))
        return v.toDouble() != 0;
    if (v.typeId() == QMetaType::QString) {
        const QString s = v.toString().trimmed();
        if (s.compare(u"true", Qt::CaseInsensitive) == 0)
            return true;
        if (s.compare(u"false", Qt::CaseInsensitive) == 0)
            return false;
        return toInt32(v) != 0;
    }
    raiseRuntime(ErrTypeMismatch);
}

QVariant to(com::VarType type, const QVariant &v)
{
    switch (type) {
    case com::VarType::Void: return {};
    case com::VarType::String: return toString(v);
    case com::VarType::Int32: return toInt32(v);
    case com::VarType::Bool: return toBool(v);
    }
    return {};
}

} // namespace tx::shell::convert
