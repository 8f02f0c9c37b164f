#pragma once

#include "program/ProgramRun.h"

namespace rz417::cli {

// SIGINT, SIGTERM, SIGHUP and SIGQUIT (on Windows: Ctrl+C, Ctrl+Break and the console window
// closing) end a run the way the user meant: the handler only notes the signal and wakes whatever
// waits, and the run then switches the input off and ends. Its waits sleep in the kernel until
// their time or a signal, never spinning, on any thread. One at a time per process; the handlers
// are restored when it goes.
class SignalWatch : public Sleeper
{
public:
    SignalWatch();
    ~SignalWatch() override;
    SignalWatch(const SignalWatch &) = delete;
    SignalWatch &operator=(const SignalWatch &) = delete;

    bool sleepUntil(SteadyTime until) override;
    bool interrupted() const override { return caught() != 0; }

    // The first signal caught, or 0. On Windows Ctrl+C is SIGINT, Ctrl+Break SIGBREAK and a
    // closed console window, a log-off or a shutdown SIGTERM.
    int caught() const;
};

// The run's clock (program/RunClock.h), which goes on while the host is suspended.
class SteadyClock : public Clock
{
public:
    SteadyTime now() override { return runClockNow(); }
};

// "SIGINT", "SIGTERM", "SIGHUP", "SIGQUIT"; on Windows "Ctrl+C", "Ctrl+Break", "the console
// closing".
const char *signalName(int signal);

} // namespace rz417::cli
