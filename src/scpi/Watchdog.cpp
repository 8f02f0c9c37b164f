#include "scpi/Watchdog.h"

#include "protocol/Frame.h"

namespace rz417::scpi {

void Watchdog::arm(int seconds, Time now)
{
    m_delay = seconds;
    m_on = true;
    feed(now);
}

void Watchdog::feed(Time at)
{
    m_last = at;
    m_waiting = false;
}

std::optional<Watchdog::Time> Watchdog::due() const
{
    if (!m_on || m_waiting)
        return std::nullopt;
    return m_last + std::chrono::seconds(m_delay);
}

void Watchdog::tripped(uint32_t inputOnFrames, bool off)
{
    m_offAt = inputOnFrames;
    if (off)
        m_waiting = true;
    else
        m_last += std::chrono::seconds(m_delay);
}

uint16_t Watchdog::condition(uint32_t inputOnFrames) const
{
    return m_offAt && *m_offAt == inputOnFrames ? kQuestionableBit : 0;
}

std::string Watchdog::offMeaning(const std::string &why)
{
    return inputMeaning(false) + " (watchdog: " + why + ")";
}

std::string Watchdog::reason() const
{
    return "no SCPI message for " + std::to_string(m_delay) + " s";
}

} // namespace rz417::scpi
