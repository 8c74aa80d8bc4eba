#pragma once
// Asks the user whether a page of an origin not on the list may open a session:
// Allow once, Always, or Deny (the default, also after 60 s without an answer).
// One question is on the screen at a time: the pages of its origin wait for its
// answer, those of another origin are refused meanwhile. A denial (Deny, the box
// closed, no answer in time) holds for its origin until the service restarts or
// the origin is put on the list. An answer counts only for pages still waiting:
// the question leaves the screen when its last page has gone. No more pages wait
// for one answer than may have sessions; further ones are refused meanwhile.
#include <QAbstractSocket>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <functional>

namespace tx::bridge {

class OriginPrompt : public QObject {
    Q_OBJECT
public:
    enum class Verdict { Once, Always, Denied, Busy, Crowded };
    enum class State { None, Open, Denied };
    using Decide = std::function<void(Verdict)>;

    ~OriginPrompt() override;

    // `decide` is called once while `page` still waits, or never.
    void ask(const QString &origin, QAbstractSocket *page, Decide decide);
    State state(const QString &origin) const;
    // The origin is on the list now: a denial of it is forgotten.
    void forget(const QString &origin);

private:
    struct Waiter {
        QPointer<QAbstractSocket> page;
        Decide decide;
    };
    static bool waits(const Waiter &w);
    void answered(int answer);
    void pageLeft();

    QString asking; // the origin whose question is on the screen
    int question = 0;
    QList<Waiter> waiting;
    QSet<QString> denied;
};

// "none", "open" or "denied", as /status tells a page.
QString stateName(OriginPrompt::State state);

} // namespace tx::bridge
