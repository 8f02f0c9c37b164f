#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

namespace rz417::scpi {

// The communication watchdog of bench supplies (OUTPut:PROTection:WDOG): while it is on, the input
// goes off when no program message arrived from any client for its delay, so that a script that
// hung, or a PC that lost the network, does not leave the load drawing. The server tells it of
// every message and wakes at due(); it never reads a clock itself.
class Watchdog
{
public:
    using Time = std::chrono::steady_clock::time_point;

    // The delay in whole seconds.
    static constexpr int kMinDelay = 1;
    static constexpr int kMaxDelay = 3600;
    static constexpr int kDefaultDelay = 60;
    // The error every client is told of a trip, and its bit of STATus:QUEStionable (9, which
    // SCPI leaves to the instrument).
    static constexpr int kTripError = 1;
    static constexpr uint16_t kQuestionableBit = 1u << 9;

    bool on() const { return m_on; }
    int delay() const { return m_delay; }
    // Switched on, it counts from the last message: the one that switched it on.
    void setOn(bool on) { m_on = on; }
    void setDelay(int seconds) { m_delay = seconds; }
    // On at once, counting from now: the server's --watchdog, the panel's dialog.
    void arm(int seconds, Time now);

    // A program message arrived.
    void feed(Time at);
    // When it trips unless a message arrives first: nothing while it is off, nor after a trip
    // until the next message, which the input's being off already answers.
    std::optional<Time> due() const;
    // It tripped; inputOnFrames: the load's count of input-on frames then, so that the
    // questionable condition holds until the input may be on again. When its frame did not go
    // out (off false) it tries again a delay later.
    void tripped(uint32_t inputOnFrames, bool off);
    // STATus:QUEStionable:CONDition's bit: the watchdog tripped, and no input-on frame went out
    // since.
    uint16_t condition(uint32_t inputOnFrames) const;

    // Why it tripped, as the journal, the error and the panel say it: "no SCPI message for 60 s".
    std::string reason() const;
    // The meaning its frame is journaled with: "input off (watchdog: no SCPI message for 60 s)".
    static std::string offMeaning(const std::string &why);

private:
    bool m_on = false;
    int m_delay = kDefaultDelay;
    Time m_last{};
    bool m_waiting = false; // tripped, and no message since
    std::optional<uint32_t> m_offAt;
};

} // namespace rz417::scpi
