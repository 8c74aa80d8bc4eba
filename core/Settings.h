#pragma once
// Process-wide settings read from the environment.

namespace tx::settings {

// The period of the controls' tick timers in milliseconds: 100, or
// TESSARIX_TICK_MS (never below 5) so tests need not wait 30 real seconds.
int tickMs();

} // namespace tx::settings
