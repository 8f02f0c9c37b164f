#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace rz417::scpi {

// What a client asks of the front panel: SYSTem:REMote, SYSTem:RWLock, SYSTem:LOCal.
enum class RemoteRequest { Remote, RemoteWithLockout, Local };

// The one load the commands drive, and what it was last sent. rz417ctl serve keeps that in its
// frame path; a front end that keeps its own record answers from that.
class Load
{
public:
    virtual ~Load() = default;
    // Sends a frame; empty when it went out, else the serial line's error text.
    virtual std::string send(const std::string &frame, const std::string &meaning) = 0;
    // The setpoint last sent in a mode (1 to 4), in the mode's steps as it went out.
    virtual std::optional<int32_t> sent(int16_t mode) const = 0;
    // The mode of the last setpoint that went out; 0 before any.
    virtual int16_t mode() const = 0;
    // An input-on frame was written, or began to be, and no input-off frame went out after it.
    virtual bool inputMayBeOn() const = 0;
    // How many input-on frames were written, or began to be, so far.
    virtual uint32_t inputOnFrames() const = 0;
    // The watchdog's input-off frame (why: "no SCPI message for 60 s"): it goes out whatever the
    // input may be and whatever runs, from no client, with Watchdog::offMeaning. Empty when it
    // went out, else the line's error text.
    virtual std::string watchdogOff(const std::string &why) = 0;

    // Why a command that would send may not now (the text after -221's "Settings conflict;"),
    // or nothing.
    virtual std::string settingsConflict() const { return {}; }
    // A front panel goes to remote or back to local as a client asks; without one, nothing.
    virtual void remote(RemoteRequest) {}
};

} // namespace rz417::scpi
