#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace rz417::sim {

enum class Command {
    CvSetpoint,     // 62, 0.01 V
    CcHighSetpoint, // 63, 0.01 A
    CpSetpoint,     // 64, 0.1 W
    CrSetpoint,     // 65, 0.1 ohm
    Input,          // 66, 00FF on, FFFF off
    CcLowSetpoint,  // 67, 0.001 A
};

// One six-character frame as it came off the line, or a run of bytes that is not one.
struct Frame
{
    std::string bytes; // exactly what was received, unprintable bytes included
    bool valid = false;
    Command command = Command::CvSetpoint; // meaningful only when valid
    uint16_t value = 0;                    // the four value digits; meaningful only when valid
    std::string error;                     // why the bytes are not a frame; empty when valid
};

// Splits the byte stream from the panel into frames. Frames have no terminator and may arrive
// split across reads or several in one read; bytes that cannot be a frame come out as one bad
// frame and decoding resumes where the next frame can start. Time is passed in, so that the
// partial-frame timeout does not depend on the clock of the caller.
class FrameDecoder
{
public:
    using Clock = std::chrono::steady_clock;
    // A partial frame older than this (since its last byte) is reported as bad.
    static constexpr std::chrono::milliseconds kPartialTimeout{50};
    static constexpr std::size_t kFrameLength = 6;

    // Bytes that arrived at `now`. Returns every frame they complete, in order.
    std::vector<Frame> feed(std::string_view bytes, Clock::time_point now);

    // Nothing arrived up to `now`: a partial frame whose pause exceeded the timeout comes out.
    std::optional<Frame> expire(Clock::time_point now);

    // When expire() will next have something to report, if anything is pending.
    std::optional<Clock::time_point> deadline() const;

    // The line closed: whatever is pending is reported as bad and dropped.
    std::optional<Frame> flush();

    bool hasPending() const { return !m_pending.empty(); }

private:
    // Takes one complete frame or bad run off the front of m_pending, if one is decided yet.
    std::optional<Frame> takeOne();
    Frame takeBad(std::size_t length, std::string error);

    std::string m_pending;
    Clock::time_point m_lastByteAt{};
};

// What the simulator knows of each command, taken from the protocol's modes' table.
struct CommandInfo
{
    Command command;
    int code;           // 0x62 ...
    const char *name;   // "CV", "CC" (either range), "CP", "CR" or "INPUT"
    int decimals;       // of the value in its unit; the high current range has one fewer
    const char *unit;   // "V", "A", "W", "ohm"; empty for the input command
};
const CommandInfo &commandInfo(Command command);
// The command with this code, or nothing.
const CommandInfo *commandByCode(int code);

// The two-character code of a command ("62" to "67").
std::string commandCode(Command command);

// What a command sets: "CV", "CC" (either range), "CP", "CR" or "INPUT".
const char *commandName(Command command);

} // namespace rz417::sim
