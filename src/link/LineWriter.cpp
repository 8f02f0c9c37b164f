#include "link/LineWriter.h"

#include "link/CommControl.h"
#include "link/CrashGuard.h"
#include "protocol/Frame.h"

#include <algorithm>
#include <thread>

namespace rz417 {

namespace {

class SteadyLineClock : public LineClock
{
public:
    LineTime now() override { return std::chrono::steady_clock::now(); }
    void sleepUntil(LineTime until) override { std::this_thread::sleep_until(until); }
};

} // namespace

LineClock &steadyLineClock()
{
    static SteadyLineClock clock;
    return clock;
}

LineWriter::LineWriter(LineClock &clock) : m_clock(clock)
{
    setSettings(LineSettings{});
}

void LineWriter::setSettings(const LineSettings &settings)
{
    // A start bit, the data bits, the parity bit and the stop bits, in half bits.
    const int halfBits = 2 * (1 + settings.dataBits + (settings.parity == Parity::None ? 0 : 1)) +
                         (settings.stopBits == StopBits::One          ? 2
                          : settings.stopBits == StopBits::OneAndHalf ? 3
                                                                      : 4);
    const int64_t baud = std::max<int64_t>(settings.baudRate, 1);
    m_byteTime = std::chrono::nanoseconds(halfBits * int64_t{500000000} / baud);
}

void LineWriter::reset()
{
    m_owed.clear();
    m_owedInputOn = false;
    owedChanged();
    m_lineFreeAt = LineTime{};
}

void LineWriter::owedChanged()
{
    // A process that dies now finishes that frame before its off frame; the rest of an
    // input-on frame it drops, and gives the line its quiet time.
    crashguard::setOwed(m_guardOwner, m_owed, !m_owedInputOn);
}

bool LineWriter::dropOwedInputOn()
{
    if (!m_owedInputOn)
        return false;
    m_owed.clear();
    m_owedInputOn = false;
    owedChanged();
    m_clock.sleepUntil(m_lineFreeAt + kQuiet);
    return true;
}

ByteLine::Outcome LineWriter::put(ByteLine &line, std::string_view data, LineTime deadline,
                                  std::size_t &accepted, std::string &why)
{
    const LineTime start = m_clock.now();
    accepted = 0;
    const ByteLine::Outcome outcome = line.put(data, deadline, accepted, why);
    // A stalled driver may have taken its bytes just before the deadline.
    const LineTime taken = outcome == ByteLine::Outcome::Stalled ? m_clock.now() : start;
    m_lineFreeAt = std::max(m_lineFreeAt, taken) +
                   m_byteTime * static_cast<std::chrono::nanoseconds::rep>(accepted);
    return outcome;
}

bool LineWriter::writeOwed(ByteLine &line, LineTime deadline)
{
    std::size_t accepted = 0;
    std::string why;
    const ByteLine::Outcome outcome = put(line, m_owed, deadline, accepted, why);
    if (outcome == ByteLine::Outcome::Lost) {
        reset();
        throw CommError(CommCodes::NotOpen, "device lost during write: " + why);
    }
    m_owed.erase(0, accepted);
    if (m_owed.empty())
        m_owedInputOn = false;
    owedChanged();
    if (!m_owed.empty())
        return false;
    // The load may have dropped the start of that frame while it waited; then this rest is a
    // partial frame of its own, and the receiver drops it too once the line is quiet.
    m_clock.sleepUntil(m_lineFreeAt + kQuiet);
    return true;
}

void LineWriter::write(ByteLine &line, std::string_view data, std::chrono::milliseconds timeout)
{
    const LineTime deadline = m_clock.now() + timeout;
    if (!m_owed.empty() && data == inputFrame(false))
        dropOwedInputOn();
    if (!m_owed.empty() && !writeOwed(line, deadline)) {
        throw CommError(CommCodes::TxQueueFull,
                        "write timed out: the line has not taken the rest of a frame cut short")
            .markNothingSent();
    }
    // At the line's pace: what was written before this waits no longer than kAhead.
    const LineTime now = m_clock.now();
    if (m_lineFreeAt - now > kAhead)
        m_clock.sleepUntil(m_lineFreeAt - kAhead);

    std::size_t accepted = 0;
    std::string why;
    switch (put(line, data, deadline, accepted, why)) {
    case ByteLine::Outcome::Whole:
        return;
    case ByteLine::Outcome::Lost: {
        reset();
        CommError lost(CommCodes::NotOpen, "device lost during write: " + why);
        throw accepted == 0 ? lost.markNothingSent() : lost;
    }
    case ByteLine::Outcome::Stalled:
        break;
    }
    if (accepted > 0) {
        m_owed.assign(data.substr(accepted));
        m_owedInputOn = data == inputFrame(true);
        owedChanged();
    }
    CommError stalled(CommCodes::TxQueueFull, "write timed out");
    throw accepted == 0 ? stalled.markNothingSent() : stalled;
}

bool LineWriter::finish(ByteLine &line, std::chrono::milliseconds timeout)
{
    if (m_owed.empty() || dropOwedInputOn())
        return true;
    try {
        return writeOwed(line, m_clock.now() + timeout);
    } catch (const CommError &) {
        return false;
    }
}

} // namespace rz417
