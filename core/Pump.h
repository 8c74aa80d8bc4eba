#pragma once
// Message pumping for the synchronous-outside, event-driven-inside waits.
#include <functional>

class QObject;

namespace tx::pump {

// Processes what is pending, without waiting.
void once();

// Blocks in the event loop until `done` holds. Every wait in the system has a
// timer or socket event that eventually makes `done` true (a tick counter).
void until(const std::function<bool()> &done);

// The same for a wait of a control (`owner` is the control or a part of it): the
// control stays while the wait runs, and the wait ends at its next event once the
// control has been released. True when `done` holds.
bool until(const QObject *owner, const std::function<bool()> &done);

// Processes events for `ms` milliseconds (a deadline, not a sleep).
void forMs(int ms);

} // namespace tx::pump
