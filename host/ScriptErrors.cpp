#include "host/ScriptErrors.h"

#include "platform/AutomationError.h"

#include <QJSEngine>

namespace tx::host {
namespace {

QString withoutScheme(const QString &file)
{
    if (file.startsWith(u"file://"))
        return file.mid(7);
    return file.startsWith(u"file:") ? file.mid(5) : file;
}

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
