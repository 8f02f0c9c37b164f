#include "cli/ProgressLine.h"

#include "cli/ProgramText.h"

#include <algorithm>
#include <cstdio>

namespace rz417::cli {

ProgressLine::ProgressLine(const Program &program, const ProgramRun &run, Clock &clock,
                           Sleeper &sleeper, StatusLine &line)
    : m_program(program), m_run(run), m_clock(clock), m_sleeper(sleeper), m_line(line)
{
}

bool ProgressLine::sleepUntil(SteadyTime until)
{
    if (!m_line.enabled() || m_sleeper.interrupted())
        return m_sleeper.sleepUntil(until);
    SteadyTime now = m_clock.now();
    while (true) {
        if (now - m_lastDraw >= kInterval) {
            m_lastDraw = now;
            m_line.show(progressText(m_program, m_run, now));
        }
        if (now >= until)
            return true;
        if (!m_sleeper.sleepUntil(std::min(until, m_lastDraw + kInterval)))
            return false;
        now = m_clock.now();
        // Woken for the step itself: it goes out first, the line waits for the next wait.
        if (now >= until)
            return true;
    }
}

} // namespace rz417::cli
