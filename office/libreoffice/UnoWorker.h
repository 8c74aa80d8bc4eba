#pragma once
// A thread that makes every UNO call of one office kind (writer, spreadsheet,
// presentation), so that the caller's thread keeps pumping messages and can
// give up on a hung office, and a hung kind never holds up another.
#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

namespace tx::office::lo {

class UnoWorker {
public:
    // Never destroyed (allocate with new): the thread may be inside a call to a
    // dead office at exit.
    UnoWorker();

    // Runs `job` on the worker while the calling thread pumps its events; false
    // when `limitMs` passed first (the job then goes on by itself). An exception
    // of the job is rethrown here.
    bool run(std::function<void()> job, int limitMs);
    // Queues `job` without waiting for it (releasing remote objects).
    void post(std::function<void()> job);
    // Once the UNO libraries are loaded (after the first connection): at exit,
    // the queued jobs (closing documents) finish first, then none runs and the
    // connections are closed, so that no UNO call, nor the connections' own
    // threads sending what the jobs released, race the libraries' teardown.
    // Exit handlers run in the reverse order of registration, so this runs
    // before theirs.
    void drainAtExit();

private:
    void loop();
    void drainNow();

    std::mutex mutex;
    std::condition_variable wake;
    std::deque<std::function<void()>> jobs;
    bool stopped = false;
};

} // namespace tx::office::lo
