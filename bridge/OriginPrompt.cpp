#include "bridge/OriginPrompt.h"

#include "bridge/PromptWords.h"
#include "platform/QuestionBox.h"

namespace tx::bridge {
namespace {

enum { AllowOnce, Always, Deny };
constexpr int kAnswerMs = 60000;

} // namespace

void OriginPrompt::ask(const QString &origin, Decide decide)
{
    auto it = waiting.find(origin);
    if (it != waiting.end()) {
        it->append(std::move(decide));
        return;
    }
    waiting.insert(origin, {std::move(decide)});
    const PromptWords words = promptWords(origin);
    ui::askLater(words.title, words.text, words.buttons, Deny, Deny, kAnswerMs,
                 [this, origin](int answer) {
                     QList<Decide> all = waiting.take(origin);
                     if (answer == AllowOnce && !all.isEmpty()) {
                         // Once is the first connection; the others waiting are asked again.
                         const Decide first = all.takeFirst();
                         for (Decide &d : all)
                             ask(origin, std::move(d));
                         first(true, false);
                         return;
                     }
                     for (const Decide &d : all)
                         d(answer == AllowOnce || answer == Always, answer == Always);
                 });
}

} // namespace tx::bridge
