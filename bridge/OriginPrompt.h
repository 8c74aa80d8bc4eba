#pragma once
// Asks the user, once per origin at a time, whether a page of an origin not on
// the list may open a session: Allow once, Always, or Deny (the default, also
// after 60 s without an answer).
#include <QHash>
#include <QList>
#include <QString>
#include <functional>

namespace tx::bridge {

class OriginPrompt {
public:
    using Decide = std::function<void(bool allowed, bool always)>;
    void ask(const QString &origin, Decide decide);

private:
    QHash<QString, QList<Decide>> waiting;
};

} // namespace tx::bridge
