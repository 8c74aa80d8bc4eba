#include "bridge/OriginPrompt.h"

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
    const QString text =
        QStringLiteral("The page at %1 wants to use the Tessarix controls on this computer.\n\n"
                       "It will be able to upload files and folders that you pick in a dialog, import office "
                       "documents and pictures you pick, capture the screen, read the clipboard's list of copied "
                       "pictures, and send all of it to its server. It cannot read any other file of yours.\n\n"
                       "Allow it?")
            .arg(origin);
    ui::askLater(QStringLiteral("Tessarix: %1").arg(origin), text,
                 {QStringLiteral("Allow once"), QStringLiteral("Always"), QStringLiteral("Deny")}, Deny, Deny, kAnswerMs,
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
