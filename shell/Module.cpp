#include "shell/Module.h"

#include <atomic>

namespace tx::shell::module {
namespace {
std::atomic<int> objects{0};
std::atomic<int> locks{0};
} // namespace

void objectCreated() { ++objects; }
void objectDestroyed() { --objects; }
void lock(bool on)
{
    if (on) {
        ++locks;
        return;
    }
    // An unlock without a lock is harmless and must not cancel the next lock.
    int n = locks.load();
    while (n > 0 && !locks.compare_exchange_weak(n, n - 1)) {
    }
}

bool canUnload() { return objects.load() == 0 && locks.load() == 0; }
int liveObjects() { return objects.load(); }

} // namespace tx::shell::module
