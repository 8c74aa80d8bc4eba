#include "LoSession.h"

#include "LoDocument.h"
#include "UnoText.h"
#include "UnoWorker.h"
#include "core/AutomationError.h"
#include "office/OfficeFailure.h"

#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/lang/DisposedException.hpp>

namespace tx::office::lo {
namespace {

constexpr int kDrainMs = 15000; // a killed instance's pending call ends well before this

} // namespace

void LoSession::track(const std::shared_ptr<LoDocument> &doc)
{
    std::erase_if(tracked, [](const std::weak_ptr<LoDocument> &d) { return d.expired(); });
    tracked.push_back(doc);
}

void LoSession::closeTracked()
{
    for (const std::weak_ptr<LoDocument> &d : std::exchange(tracked, {}))
        LoDocument::discard(d.lock());
}

void LoSession::post(std::function<void()> f)
{
    worker->post(std::move(f));
}

void LoSession::died(const QString &what, const QString &message)
{
    instance.forget();
    instance.kill();
    raiseStopped(QStringLiteral("soffice (%1) went away during %2 (%3); the next call starts a new one")
                     .arg(instance.kind(), what, message));
}

void LoSession::runJob(const QString &what, std::function<void()> job, int graceMs)
{
    // A broken bridge may also be that of an instance that went away and was
    // replaced since, under an object of it still held: the instance itself is
    // asked, so a stale document never stops the one now serving everybody.
    auto guarded = [this, what, job = std::move(job)] {
        try {
            job();
        } catch (const css::lang::DisposedException &e) {
            if (!instance.answers())
                died(what, qs(e.Message));
            raiseStopped(QStringLiteral("soffice (%1) went away during %2 (%3)").arg(instance.kind(), what, qs(e.Message)));
        } catch (const css::uno::RuntimeException &e) {
            // Either the bridge broke or the office refused.
            if (!instance.answers())
                died(what, qs(e.Message));
            raiseRuntime(ErrAutomation, what + QStringLiteral(" failed: ") + qs(e.Message));
        } catch (const css::uno::Exception &e) {
            raiseRuntime(ErrAutomation, what + QStringLiteral(" failed: ") + qs(e.Message));
        }
    };
    const int limit = limitMs;
    if (worker->run(guarded, limit + graceMs))
        return;
    instance.kill();
    worker->run([this] { instance.forget(); }, kDrainMs);
    raiseStopped(QStringLiteral("soffice (%1) did not answer within %2 s during %3; it was stopped")
                     .arg(instance.kind())
                     .arg(limit / 1000.0)
                     .arg(what));
}

bool LoSession::attach()
{
    try {
        return call(QStringLiteral("attach"), [this] { return instance.connect(); });
    } catch (const AutomationError &) {
        return false; // no office to attach to is not an error
    }
}

void LoSession::startInBackground()
{
    worker->post([this] { instance.startWithoutWaiting(); });
}

void LoSession::start()
{
    // The start keeps its own deadline and says why it failed; the grace lets
    // that answer arrive before the caller gives up.
    constexpr int kGraceMs = 5000;
    try {
        runJob(QStringLiteral("start"), [this] { instance.start(limitMs); }, kGraceMs);
    } catch (const AutomationError &e) {
        if (e.number == ErrCantCreateObject)
            throw;
        // "Automation error: <what happened>"
        raiseRuntime(ErrCantCreateObject, QStringLiteral("soffice: ") + e.description.section(QStringLiteral(": "), 1));
    }
}

} // namespace tx::office::lo
