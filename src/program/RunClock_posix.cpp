#include "program/RunClock.h"

#include <ctime>

namespace rz417 {

SteadyTime runClockNow()
{
#ifdef CLOCK_BOOTTIME
    constexpr clockid_t kClock = CLOCK_BOOTTIME;
#else
    constexpr clockid_t kClock = CLOCK_MONOTONIC;
#endif
    timespec now = {};
    ::clock_gettime(kClock, &now);
    return SteadyTime(std::chrono::duration_cast<SteadyTime::duration>(
        std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec)));
}

} // namespace rz417
