#pragma once

#include <chrono>

namespace rz417 {

using SteadyTime = std::chrono::steady_clock::time_point;

// The time runs count in, as a steady clock's time point: on Linux the boot-time clock, which
// goes on while the host is suspended, so that a run's schedule and a battery test's figures
// stay right if the host sleeps anyway; elsewhere the steady clock. Every time a run's Clock
// gives and its Sleeper waits for is of this clock, never of std::chrono::steady_clock.
SteadyTime runClockNow();

} // namespace rz417
