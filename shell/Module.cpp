#include "shell/Module.h"

#include <atomic>

namespace tx::shell::module {
namespace {
std::atomic<int> objects{0};
std::atomic<int> locks{0};
} // namespace

void objectCreated() { ++objects; }
void objectDestroyed() { --objects; }
void lock(bool on) { on ? ++locks : --locks; }
bool canUnload() { return objects.load() == 0 && locks.load() <= 0; }
int liveObjects() { return objects.load(); }

} // namespace tx::shell::module
