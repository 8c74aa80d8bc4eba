#pragma once
// One application kind of the LibreOffice backend: its instance, its time limit,
// and the way every UNO call reaches the worker thread.
#include "SofficeInstance.h"
#include "UnoWorker.h"

#include <QString>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <type_traits>
#include <vector>

namespace tx::office::lo {

struct LoDocument;

class LoSession {
public:
    explicit LoSession(const QString &kind) : worker(new UnoWorker), instance(kind, *worker) {}

    // Runs `f` on the worker within the time limit. A hung instance is killed
    // and the call fails with error 440; so does one that dies under the call.
    // UNO errors become error 440 naming `what`.
    template <class F>
    auto call(const QString &what, F f) -> decltype(f())
    {
        using R = decltype(f());
        if constexpr (std::is_void_v<R>) {
            runJob(what, std::function<void()>(std::move(f)));
        } else {
            auto out = std::make_shared<std::optional<R>>();
            runJob(what, [f = std::move(f), out] { *out = f(); });
            return std::move(**out);
        }
    }

    // Queues `f` without waiting (releasing documents); errors are dropped.
    void post(std::function<void()> f);

    bool attach();
    // Attaches or starts the instance; its failure is error 429.
    void start();
    // Starts the office process on the worker without waiting for it (the first
    // call connects); a failure is left for the first call to report.
    void startInBackground();

    // Worker only: the documents this process made or opened in the instance,
    // for closing them when the process has to leave in the middle of its work.
    void track(const std::shared_ptr<LoDocument> &doc);
    void closeTracked();

    UnoWorker *const worker; // this kind's own thread, never destroyed
    SofficeInstance instance;                               // worker only
    std::atomic<int> limitMs{120000};

private:
    void runJob(const QString &what, std::function<void()> job, int graceMs = 0);
    std::vector<std::weak_ptr<LoDocument>> tracked;
    [[noreturn]] void died(const QString &what, const QString &message);
};

} // namespace tx::office::lo
