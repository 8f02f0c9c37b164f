#pragma once

#include "link/LineSettings.h"

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>

namespace rz417 {

using LineTime = std::chrono::steady_clock::time_point;

// The host's driver as the writer sees it: it takes bytes until a deadline.
class ByteLine
{
public:
    enum class Outcome {
        Whole,   // every byte was taken
        Stalled, // the deadline came first; accepted says how many were taken
        Lost,    // the device failed or vanished; why says how
    };
    virtual ~ByteLine() = default;
    virtual Outcome put(std::string_view data, LineTime deadline, std::size_t &accepted,
                        std::string &why) = 0;
};

// The writer's time: the steady clock and a plain sleep, or a test's own.
class LineClock
{
public:
    virtual ~LineClock() = default;
    virtual LineTime now() = 0;
    virtual void sleepUntil(LineTime until) = 0;
};
LineClock &steadyLineClock();

// Keeps frames whole on the line, whatever the driver and the buffers beyond it hold:
// - Writes never run more than a few milliseconds ahead of the line's own pace, so that what
//   waits in the host's and the adapter's buffers is small: a frame sent now, the input-off
//   frame above all, reaches the load after at most that much, not after seconds of a flood.
// - A frame the line took only part of before the bounded wait ran out is never cut: bytes
//   already handed over are beyond recall (in the driver, the adapter, the far end of a
//   pseudo-terminal), and whatever followed them would be read as the rest of that frame. Its
//   rest goes out first, before anything else, and the next frame only after the line has been
//   quiet for kQuiet, after which the load's receiver has dropped a partial frame. So the load
//   reads the cut frame whole, or drops it, and never glues it to another.
// - A cut input-on frame is the one exception: when the input-off frame or the port's closing
//   comes next, its rest is dropped instead, and the line kept quiet for kQuiet, so that the load
//   drops it and the input is never switched on by the last bytes sent.
class LineWriter
{
public:
    // The pause after which the load's receiver drops a partial frame.
    static constexpr std::chrono::milliseconds kQuiet{50};
    // How far writes may run ahead of the line.
    static constexpr std::chrono::milliseconds kAhead{10};

    explicit LineWriter(LineClock &clock = steadyLineClock());

    void setSettings(const LineSettings &settings);
    // The line whose crash guard is told what the writer owes (its CommControl); nothing for none.
    void guardFor(const void *owner) { m_guardOwner = owner; }
    // A device opened afresh: nothing is owed and nothing waits on it.
    void reset();

    // Writes data whole within timeout, the rest of a cut frame first. Raises CommError:
    // TxQueueFull when the line stalled (what it took of data is finished first next time),
    // NotOpen when the device was lost (reset() is then the caller's affair).
    void write(ByteLine &line, std::string_view data, std::chrono::milliseconds timeout);
    // Finishes a cut frame before the port closes, so that no partial frame is left for the
    // next program that opens it (a cut input-on frame is dropped instead). False when the line
    // still would not take it.
    bool finish(ByteLine &line, std::chrono::milliseconds timeout);

    // The rest of a cut frame, not yet written.
    const std::string &owed() const { return m_owed; }

private:
    bool writeOwed(ByteLine &line, LineTime deadline);
    // Drops the rest of a cut input-on frame and waits until the load has dropped its start;
    // false when what is owed is the rest of another frame.
    bool dropOwedInputOn();
    // m_owed changed: the crash guard is told.
    void owedChanged();
    ByteLine::Outcome put(ByteLine &line, std::string_view data, LineTime deadline,
                          std::size_t &accepted, std::string &why);

    LineClock &m_clock;
    std::chrono::nanoseconds m_byteTime{};
    LineTime m_lineFreeAt{}; // when the line has carried everything written, at its own pace
    std::string m_owed;
    bool m_owedInputOn = false; // m_owed is the rest of an input-on frame
    const void *m_guardOwner = nullptr;
};

} // namespace rz417
