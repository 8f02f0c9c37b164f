#pragma once

#include <functional>
#include <optional>
#include <string>

namespace rz417 {

// The host's sleep, which the system's own means hold off: logind on Linux, the thread's
// execution state on Windows.
class SleepInhibitor
{
public:
    virtual ~SleepInhibitor() = default;
    // Holds sleep off until release(). Why it cannot, or nothing.
    virtual std::optional<std::string> hold() = 0;
    // Lets the host sleep again. Why sleep was not held off after all (the system refused what
    // hold() asked), or nothing.
    virtual std::optional<std::string> release() = 0;
};

// A host that sleeps during a run stops the run but not the load, which draws on unwatched.
// So a run holds sleep off from the moment its input may be on until the run ends; a server,
// whose clients switch the input as they please, while the input may be on. Where sleep cannot
// be held off the run goes on, and the reason is told once.
class RunSleepHold
{
public:
    enum class Until { RunEnds, InputOff };

    RunSleepHold(SleepInhibitor &inhibitor, Until until,
                 std::function<void(const std::string &why)> notice);
    ~RunSleepHold();
    RunSleepHold(const RunSleepHold &) = delete;
    RunSleepHold &operator=(const RunSleepHold &) = delete;

    // A run started or ended (a server's run lasts as long as it does).
    void runStarted();
    void runEnded();
    // The frame path's "the input may be on".
    void inputChanged(bool mayBeOn);

private:
    void release();
    void tell(const std::optional<std::string> &why);

    SleepInhibitor &m_inhibitor;
    const Until m_until;
    std::function<void(const std::string &)> m_notice;
    bool m_running = false;
    bool m_mayBeOn = false;
    bool m_held = false;
    bool m_told = false;
};

} // namespace rz417
