#pragma once
// The page's side of a session: JSON text frames. Every request carries an "id"
// and a "type"; its reply carries the same id with "result" or "error"
// {number, source, description}. Events carry "event" and no id.
#include "core/AutomationError.h"

#include <QJsonObject>
#include <QJsonValue>
#include <QVariant>
#include <optional>

namespace tx::bridge {

inline constexpr char kSubprotocol[] = "tessarix.1";
inline constexpr qint64 kMaxMessage = 1024 * 1024;
inline constexpr int kMaxObjects = 64;
inline constexpr int kMaxQueued = 256;
inline constexpr int kMaxSessions = 16;
// What may wait in one session at once, all requests together.
inline constexpr qint64 kMaxQueuedBytes = 16 * 1024 * 1024;

struct Request {
    QJsonValue id;
    QString type;
    QJsonObject message;
};

// A request whose fields have the types its kind needs; otherwise the error to
// answer it with (and the id, when the frame had a usable one).
struct Checked {
    std::optional<Request> request;
    QJsonValue id;
    AutomationError error;
};
Checked checkRequest(const QByteArray &frame);

QByteArray resultReply(const QJsonValue &id, const QJsonValue &result);
QByteArray errorReply(const QJsonValue &id, const AutomationError &e);
QByteArray eventMessage(const QString &event, QJsonObject fields);

// Between a member's declared types and JSON: a missing value is empty, null
// stays null, numbers, strings and booleans pass; arrays and objects go as they
// are, and the conversion refuses them (13), as for a script's objects.
QVariant toArgument(const QJsonValue &v);
QJsonValue toJson(const QVariant &v);

// Numbered errors of the bridge itself, as a page sees them.
AutomationError protocolError(const QString &detail);       // 5: malformed, unknown
AutomationError typeError(const QString &field);            // 13 naming the field
AutomationError limitError(const QString &detail);          // 7: out of memory

} // namespace tx::bridge
