// fuzz-deps: tx_bridge
// A page's text frame as the session reads it: either a request of a known type
// whose fields have their types, or an error (5 or 13) that can be answered with
// the frame's id when it had one; every reply and event is one JSON object that
// reads back with the same id, and scalar values pass to a member and back.
#include "bridge/Protocol.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <cstdint>
#include <cstdlib>

namespace {

void check(bool ok)
{
    if (!ok)
        std::abort();
}

QJsonObject readBack(const QByteArray &text)
{
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(text, &error);
    check(error.error == QJsonParseError::NoError && doc.isObject() && !text.contains('\n'));
    return doc.object();
}

void passesBothWays(const QJsonValue &v)
{
    const QJsonValue back = tx::bridge::toJson(tx::bridge::toArgument(v));
    if (v.isString() || v.isBool() || v.isNull())
        check(back == v);
    else if (v.isDouble())
        check(back.isDouble() && (back.toDouble() == v.toDouble() || v.toDouble() != v.toDouble()));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray frame(reinterpret_cast<const char *>(data), qsizetype(size));
    const tx::bridge::Checked c = tx::bridge::checkRequest(frame);
    if (c.request) {
        const tx::bridge::Request &r = *c.request;
        check(r.id.isString() || r.id.isDouble());
        check(r.message.value(QStringLiteral("type")).toString() == r.type);
        const QJsonObject reply = readBack(tx::bridge::resultReply(r.id, r.message.value(QStringLiteral("value"))));
        check(reply.value(QStringLiteral("id")) == r.id && reply.contains(QStringLiteral("result")));
        for (const QJsonValue &arg : r.message.value(QStringLiteral("args")).toArray())
            passesBothWays(arg);
        passesBothWays(r.message.value(QStringLiteral("value")));
    } else {
        const int n = c.error.number;
        check(n == tx::ErrInvalidCall || n == tx::ErrTypeMismatch);
        check(!c.error.description.isEmpty());
        const QJsonObject reply = readBack(tx::bridge::errorReply(c.id, c.error));
        check(reply.value(QStringLiteral("id")) == c.id);
        check(reply.value(QStringLiteral("error")).toObject().value(QStringLiteral("number")).isDouble());
    }
    const QJsonObject event = readBack(tx::bridge::eventMessage(QStringLiteral("e"), QJsonObject{{"id", c.id}}));
    check(event.value(QStringLiteral("event")) == QStringLiteral("e"));
    return 0;
}
