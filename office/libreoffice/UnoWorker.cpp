#include "UnoWorker.h"

#include "SofficeInstance.h"

#include "core/Pump.h"

#include <QCoreApplication>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <vector>
#include <cstdlib>
#include <csignal>
#include <pthread.h>

namespace tx::office::lo {
namespace {

struct Completion {
    std::atomic<bool> done{false};
    std::exception_ptr error;
    std::mutex mutex;
    std::condition_variable cv;
};

} // namespace

// The workers whose queues are drained at exit, in the order they connected.
static std::mutex registryMutex;
static std::vector<UnoWorker *> &registry()
{
    static auto *workers = new std::vector<UnoWorker *>;
    return *workers;
}

UnoWorker::UnoWorker()
{
    std::thread([this] { loop(); }).detach();
}

void UnoWorker::loop()
{
    // The bridge's threads start from here and inherit this mask: a write to an
    // office that was just killed then fails with EPIPE instead of ending the
    // whole process with SIGPIPE.
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
    for (;;) {
        std::function<void()> job;
        {
            std::unique_lock lock(mutex);
            wake.wait(lock, [this] { return !jobs.empty() && !stopped; });
            job = std::move(jobs.front());
            jobs.pop_front();
        }
        job(); // jobs catch their own exceptions
    }
}

void UnoWorker::drainAtExit()
{
    {
        std::lock_guard lock(registryMutex);
        auto &all = registry();
        if (std::find(all.begin(), all.end(), this) == all.end())
            all.push_back(this);
    }
    static std::once_flag once;
    std::call_once(once, [] {
        std::atexit([] {
            std::vector<UnoWorker *> all;
            {
                std::lock_guard lock(registryMutex);
                all = registry();
            }
            for (UnoWorker *w : all)
                w->drainNow();
            closeConnections();
        });
    });
}

void UnoWorker::drainNow()
{
    constexpr int kDrainMs = 5000;
    auto c = std::make_shared<Completion>();
    {
        std::lock_guard lock(mutex);
        jobs.push_back([c] {
            {
                std::lock_guard lock(c->mutex);
                c->done = true;
            }
            c->cv.notify_all();
        });
    }
    wake.notify_one();
    {
        std::unique_lock lock(c->mutex);
        c->cv.wait_for(lock, std::chrono::milliseconds(kDrainMs), [&] { return c->done.load(); });
    }
    std::lock_guard lock(mutex);
    stopped = true;
}

void UnoWorker::post(std::function<void()> job)
{
    {
        std::lock_guard lock(mutex);
        jobs.push_back([job = std::move(job)] {
            try {
                job();
            } catch (...) {
            }
        });
    }
    wake.notify_one();
}

bool UnoWorker::run(std::function<void()> job, int limitMs)
{
    auto c = std::make_shared<Completion>();
    QCoreApplication *app = QCoreApplication::instance();
    {
        std::lock_guard lock(mutex);
        jobs.push_back([c, job = std::move(job)] {
            try {
                job();
            } catch (...) {
                c->error = std::current_exception();
            }
            {
                std::lock_guard lock(c->mutex);
                c->done = true;
            }
            c->cv.notify_all();
            // Wakes the caller's event loop; looked up now, as a caller that gave
            // up may be gone.
            if (QCoreApplication *now = QCoreApplication::instance())
                QMetaObject::invokeMethod(now, [] {}, Qt::QueuedConnection);
        });
    }
    wake.notify_one();

    if (app && app->thread() == QThread::currentThread()) {
        bool expired = false;
        QTimer deadline;
        deadline.setSingleShot(true);
        QObject::connect(&deadline, &QTimer::timeout, [&expired] { expired = true; });
        deadline.start(limitMs);
        tx::pump::until([&] { return c->done.load() || expired; });
    } else {
        std::unique_lock lock(c->mutex);
        c->cv.wait_for(lock, std::chrono::milliseconds(limitMs), [&] { return c->done.load(); });
    }
    if (!c->done)
        return false;
    if (c->error)
        std::rethrow_exception(c->error);
    return true;
}

} // namespace tx::office::lo
