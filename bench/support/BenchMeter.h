#pragma once

#include "support/FarEnd.h"

#include <vector>

namespace rz417::bench {

// A listening socket on loopback at a free port; exits the bench when there is none.
int listenLoopback(int &port);

// A meter of the bench's own for measured tests: answers *IDN?, then 3.7 V for highCount
// readings and 2.5 V after; records when each reading's query arrived and its answer went out,
// and when the answer to the last reading below 3 V (lowCount of them) went out, after which it
// stops serving.
struct BenchMeter
{
    int highCount = 0;
    int lowCount = 2;
    std::vector<Clock::time_point> queries;
    std::vector<Clock::time_point> answers;
    Clock::time_point secondLowSent;

    void serve(int listener);
};

// Each query's lateness against an absolute schedule of intervalMs, placed at the earliest
// arrival it allows: lateness counts from the most punctual reading.
std::vector<double> scheduleLateness(const std::vector<Clock::time_point> &queries,
                                     double intervalMs);

} // namespace rz417::bench
