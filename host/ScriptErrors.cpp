#include "host/ScriptErrors.h"

#include "platform/AutomationError.h"

#include <QJSEngine>

namespace tx::host {

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
    QString file = exception.property(QStringLiteral("fileName")).toString();
    if (file.startsWith(u"file://"))
        file = file.mid(7);
    else if (file.startsWith(u"file:"))
        file = file.mid(5);
    const int lineNo = exception.property(QStringLiteral("lineNumber")).toInt();
    // Errors made by the host's own glue point at the page's frame instead.
    const auto ours = [](const QString &where) { return where.contains(u"tessarix-glue.js"); };
    if (!file.isEmpty() && lineNo > 0 && !ours(file))
        return line + QStringLiteral(" at %1:%2").arg(file).arg(lineNo);
    for (const QString &frame : stack)
        if (!ours(frame))
            return line + QStringLiteral(" at ") + frame;
    return line;
}

} // namespace tx::host
