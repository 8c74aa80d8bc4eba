#include "hostcore/ScriptErrors.h"

#include "core/AutomationError.h"

#include <QJSEngine>

namespace tx::host {
namespace {

QString withoutScheme(const QString &file)
{
    if (file.startsWith(u"file://"))
        return file.mid(7);
    return file.startsWith(u"file:") ? file.mid(5) : file;
}

ThrownValues *innermost = nullptr;

} // namespace

QJSValue errorObject(QJSEngine &engine, int32_t number, const QString &source, const QString &description)
{
    QJSValue error = engine.newErrorObject(QJSValue::GenericError, description);
    error.setProperty(QStringLiteral("number"), scriptNumber(number));
    error.setProperty(QStringLiteral("source"), source);
    error.setProperty(QStringLiteral("description"), description);
    return error;
}

void throwScriptError(QJSEngine &engine, int32_t number, const QString &source, const QString &description)
{
    engine.throwError(errorObject(engine, number, source, description));
}

void throwScriptError(QJSEngine &engine, const AutomationError &e)
{
    throwScriptError(engine, e.number, e.source, e.description);
}

std::optional<QJSValue> callCatching(QJSEngine &engine, const QJSValue &fn, const QJSValueList &args)
{
    // QJSValue::call hands back a thrown value like a returned one; only script
    // code can tell them apart.
    QJSValue wrap = engine.evaluate(QStringLiteral(
        "(function (f, a) { try { return { value: f.apply(undefined, a) }; } catch (e) { return { thrown: e }; } })"));
    QJSValue list = engine.newArray(uint(args.size()));
    for (qsizetype i = 0; i < args.size(); ++i)
        list.setProperty(quint32(i), args[i]);
    const QJSValue r = wrap.call({fn, list});
    if (r.isError()) // the engine itself gave up (for example interrupted)
        return r;
    if (r.hasOwnProperty(QStringLiteral("thrown")))
        return r.property(QStringLiteral("thrown"));
    return std::nullopt;
}

AutomationError thrownThroughMember(const QJSValue &thrown, const QString &hook)
{
    AutomationError e(ErrAutomation, hook, thrown.toString());
    if (thrown.isObject() && thrown.hasProperty(QStringLiteral("number")) &&
        thrown.hasProperty(QStringLiteral("source"))) {
        e.number = thrown.property(QStringLiteral("number")).toInt();
        e.source = thrown.property(QStringLiteral("source")).toString();
        e.description = thrown.hasProperty(QStringLiteral("description"))
            ? thrown.property(QStringLiteral("description")).toString()
            : thrown.property(QStringLiteral("message")).toString();
    } else if (thrown.isError()) {
        e.description = thrown.property(QStringLiteral("message")).toString();
    }
    if (innermost) {
        innermost->value = thrown;
        innermost->error = std::make_tuple(scriptNumber(e.number), e.source, e.description);
    }
    return e;
}

ThrownValues::ThrownValues() : outer(innermost) { innermost = this; }

ThrownValues::~ThrownValues() { innermost = outer; }

std::optional<QJSValue> ThrownValues::take(int32_t number, const QString &source, const QString &description) const
{
    if (error != std::make_tuple(number, source, description))
        return std::nullopt;
    return value;
}

QString describeUncaught(const QJSValue &exception, const QStringList &stack)
{
    QString line = QStringLiteral("Uncaught exception: ") + exception.toString();
    if (exception.isObject() && exception.hasProperty(QStringLiteral("number"))) {
        const QJSValue number = exception.property(QStringLiteral("number"));
        line += QStringLiteral(" [number %1 (0x%2), source \"%3\"]")
                    .arg(number.toInt())
                    .arg(uint32_t(number.toInt()), 8, 16, QLatin1Char('0'))
                    .arg(exception.property(QStringLiteral("source")).toString());
    }
    const QString file = withoutScheme(exception.property(QStringLiteral("fileName")).toString());
    const int lineNo = exception.property(QStringLiteral("lineNumber")).toInt();
    // Errors made by the host's own glue point at the page's frame instead.
    const auto ours = [](const QString &where) { return where.contains(u"tessarix-glue.js"); };
    if (!file.isEmpty() && lineNo > 0 && !ours(file))
        return line + QStringLiteral(" at %1:%2").arg(file).arg(lineNo);
    // A frame reads "function:line:column:file".
    for (const QString &frame : stack) {
        const QStringList parts = frame.split(u':');
        if (parts.size() >= 4 && !ours(frame))
            return line + QStringLiteral(" at %1:%2").arg(withoutScheme(parts.mid(3).join(u':')), parts[1]);
    }
    return line;
}

} // namespace tx::host
