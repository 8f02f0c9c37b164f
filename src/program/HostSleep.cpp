#include "program/HostSleep.h"

namespace rz417 {

RunSleepHold::RunSleepHold(SleepInhibitor &inhibitor, Until until,
                           std::function<void(const std::string &)> notice)
    : m_inhibitor(inhibitor), m_until(until), m_notice(std::move(notice)),
      m_running(until == Until::InputOff)
{
}

RunSleepHold::~RunSleepHold()
{
    release();
}

void RunSleepHold::runStarted()
{
    m_running = true;
    // An input already on (the panel's Output before the run) is the run's from now on.
    inputChanged(m_mayBeOn);
}

void RunSleepHold::runEnded()
{
    m_running = m_until == Until::InputOff;
    release();
}

void RunSleepHold::inputChanged(bool mayBeOn)
{
    m_mayBeOn = mayBeOn;
    if (mayBeOn && m_running && !m_held) {
        m_held = true;
        tell(m_inhibitor.hold());
    } else if (!mayBeOn && m_until == Until::InputOff) {
        release();
    }
}

void RunSleepHold::release()
{
    if (!m_held)
        return;
    m_held = false;
    tell(m_inhibitor.release());
}

void RunSleepHold::tell(const std::optional<std::string> &why)
{
    if (!why || m_told)
        return;
    m_told = true;
    if (m_notice)
        m_notice(*why);
}

} // namespace rz417
