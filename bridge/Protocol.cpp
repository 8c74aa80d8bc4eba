#include "bridge/Protocol.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <cmath>

namespace tx::bridge {
namespace {

enum class Field { String, Object, Array, Bool, Any };

struct FieldRule {
    const char *name;
    Field kind;
    bool required;
};

struct MessageRule {
    const char *type;
    std::initializer_list<FieldRule> fields;
};

const MessageRule kRules[] = {
    {"create", {{"progId", Field::String, true}}},
    {"call", {{"object", Field::Object, true}, {"member", Field::String, true}, {"args", Field::Array, false}}},
    {"get", {{"object", Field::Object, true}, {"member", Field::String, true}}},
    {"put", {{"object", Field::Object, true}, {"member", Field::String, true}, {"value", Field::Any, true}}},
    {"release", {{"object", Field::Object, true}}},
    {"show", {{"object", Field::Object, true}}},
    {"choose",
     {{"folder", Field::Bool, false}, {"multiple", Field::Bool, false}, {"filter", Field::String, false}}},
    {"automation", {{"name", Field::String, true}, {"args", Field::Array, false}}},
};

bool fits(const QJsonValue &v, Field kind)
{
    switch (kind) {
    case Field::String: return v.isString();
    case Field::Array: return v.isArray();
    case Field::Bool: return v.isBool();
    case Field::Any: return !v.isUndefined();
    case Field::Object: {
        // An object id: a positive whole number.
        const double d = v.toDouble(-1);
        return v.isDouble() && d >= 1 && d <= 2147483647 && std::trunc(d) == d;
    }
    }
    return false;
}

QJsonObject errorObject(const AutomationError &e)
{
    return {{QStringLiteral("number"), scriptNumber(e.number)},
            {QStringLiteral("source"), e.source},
            {QStringLiteral("description"), e.description}};
}

QByteArray compact(const QJsonObject &o) { return QJsonDocument(o).toJson(QJsonDocument::Compact); }

} // namespace

AutomationError protocolError(const QString &detail) { return runtimeError(ErrInvalidCall, detail); }
AutomationError typeError(const QString &field) { return runtimeError(ErrTypeMismatch, field); }
AutomationError limitError(const QString &detail)
{
    return AutomationError(7, QStringLiteral("Tessarix5"), QStringLiteral("Out of memory: ") + detail);
}

Checked checkRequest(const QByteArray &frame)
{
    Checked out;
    QJsonParseError parseError{};
    const QJsonDocument doc = QJsonDocument::fromJson(frame, &parseError);
    if (parseError.error != QJsonParseError::NoError || !doc.isObject()) {
        out.error = protocolError(parseError.error != QJsonParseError::NoError
                                      ? QStringLiteral("not JSON (%1 at %2)").arg(parseError.errorString()).arg(parseError.offset)
                                      : QStringLiteral("a message is a JSON object"));
        return out;
    }
    const QJsonObject o = doc.object();
    const QJsonValue id = o.value(QStringLiteral("id"));
    if (!id.isString() && !id.isDouble()) {
        out.error = typeError(QStringLiteral("id (a number or a string)"));
        return out;
    }
    out.id = id;
    const QJsonValue type = o.value(QStringLiteral("type"));
    const QString name = type.toString();
    for (const MessageRule &rule : kRules) {
        if (name != QLatin1String(rule.type))
            continue;
        for (const FieldRule &f : rule.fields) {
            const QJsonValue v = o.value(QLatin1String(f.name));
            if (v.isUndefined() && !f.required)
                continue;
            if (!fits(v, f.kind)) {
                out.error = typeError(QStringLiteral("%1 of %2").arg(QLatin1String(f.name), name));
                return out;
            }
        }
        out.request = Request{id, name, o};
        return out;
    }
    out.error = protocolError(type.isString() ? QStringLiteral("unknown message type \"%1\"").arg(name)
                                              : QStringLiteral("a message needs a type"));
    return out;
}

QByteArray resultReply(const QJsonValue &id, const QJsonValue &result)
{
    return compact({{QStringLiteral("id"), id}, {QStringLiteral("result"), result.isUndefined() ? QJsonValue() : result}});
}

QByteArray errorReply(const QJsonValue &id, const AutomationError &e)
{
    return compact({{QStringLiteral("id"), id}, {QStringLiteral("error"), errorObject(e)}});
}

QByteArray eventMessage(const QString &event, QJsonObject fields)
{
    fields.insert(QStringLiteral("event"), event);
    return compact(fields);
}

QVariant toArgument(const QJsonValue &v)
{
    switch (v.type()) {
    case QJsonValue::Undefined: return {};
    case QJsonValue::Null: return QVariant::fromValue(nullptr);
    case QJsonValue::Bool: return v.toBool();
    case QJsonValue::Double: return v.toDouble();
    case QJsonValue::String: return v.toString();
    default: return QVariant::fromValue(v);
    }
}

QJsonValue toJson(const QVariant &v)
{
    if (!v.isValid())
        return QJsonValue();
    return QJsonValue::fromVariant(v);
}

} // namespace tx::bridge
