#include "program/RunClock.h"

namespace rz417 {

SteadyTime runClockNow()
{
    return std::chrono::steady_clock::now();
}

} // namespace rz417
