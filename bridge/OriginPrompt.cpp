#include "bridge/OriginPrompt.h"

#include "bridge/PromptWords.h"
#include "bridge/Protocol.h"
#include "core/Settings.h"
#include "platform/QuestionBox.h"

#include <utility>

namespace tx::bridge {
namespace {

enum { AllowOnce, Always, Deny };
constexpr int kAnswerTicks = 600; // 60 s

} // namespace

OriginPrompt::~OriginPrompt()
{
    if (question)
        ui::withdrawQuestion(question);
}

bool OriginPrompt::waits(const Waiter &w) { return w.page && w.page->state() == QAbstractSocket::ConnectedState; }

void OriginPrompt::ask(const QString &origin, QAbstractSocket *page, Decide decide)
{
    if (!page || page->state() != QAbstractSocket::ConnectedState)
        return;
    if (denied.contains(origin)) {
        decide(Verdict::Denied);
        return;
    }
    if (!asking.isEmpty() && asking != origin) {
        decide(Verdict::Busy);
        return;
    }
    // A page opening connection after connection gets no more of our memory.
    waiting.removeIf([](const Waiter &w) { return !waits(w); });
    if (waiting.size() >= kMaxSessions) {
        decide(Verdict::Crowded);
        return;
    }
    connect(page, &QAbstractSocket::disconnected, this, &OriginPrompt::pageLeft);
    connect(page, &QObject::destroyed, this, &OriginPrompt::pageLeft);
    waiting.append({page, std::move(decide)});
    if (!asking.isEmpty())
        return;
    asking = origin;
    const PromptWords words = promptWords(origin);
    question = ui::askLater(words.title, words.text, words.buttons, Deny, Deny, kAnswerTicks * settings::tickMs(),
                            [this](int answer) { answered(answer); });
}

OriginPrompt::State OriginPrompt::state(const QString &origin) const
{
    if (!asking.isEmpty() && asking == origin)
        return State::Open;
    return denied.contains(origin) ? State::Denied : State::None;
}

void OriginPrompt::forget(const QString &origin) { denied.remove(origin); }

void OriginPrompt::answered(int answer)
{
    const QString origin = std::exchange(asking, QString());
    question = 0;
    QList<Waiter> all = std::exchange(waiting, {});
    for (const Waiter &w : all)
        if (w.page)
            disconnect(w.page, nullptr, this, nullptr);
    all.removeIf([](const Waiter &w) { return !waits(w); });
    if (all.isEmpty())
        return; // its pages have gone: the answer is nobody's
    if (answer == AllowOnce) {
        // Once is the first connection; the others waiting are asked again.
        Waiter first = all.takeFirst();
        for (Waiter &w : all)
            ask(origin, w.page, std::move(w.decide));
        first.decide(Verdict::Once);
        return;
    }
    if (answer != Always)
        denied.insert(origin);
    for (const Waiter &w : all)
        w.decide(answer == Always ? Verdict::Always : Verdict::Denied);
}

void OriginPrompt::pageLeft()
{
    waiting.removeIf([](const Waiter &w) { return !waits(w); });
    if (!waiting.isEmpty() || asking.isEmpty())
        return;
    ui::withdrawQuestion(std::exchange(question, 0));
    asking.clear();
}

QString stateName(OriginPrompt::State state)
{
    switch (state) {
    case OriginPrompt::State::Open: return QStringLiteral("open");
    case OriginPrompt::State::Denied: return QStringLiteral("denied");
    case OriginPrompt::State::None: break;
    }
    return QStringLiteral("none");
}

} // namespace tx::bridge
