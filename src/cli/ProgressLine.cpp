#include "cli/ProgressLine.h"

#include "cli/Console.h"
#include "cli/ProgramText.h"

#include <algorithm>
#include <cstdio>

namespace rz417::cli {

ProgressLine::ProgressLine(const Program &program, const ProgramRun &run, Clock &clock,
                           Sleeper &sleeper, bool enabled)
    : m_program(program), m_run(run), m_clock(clock), m_sleeper(sleeper), m_enabled(enabled)
{
}

ProgressLine::~ProgressLine()
{
    clear();
}

bool ProgressLine::sleepUntil(SteadyTime until)
{
    if (!m_enabled)
        return m_sleeper.sleepUntil(until);
    SteadyTime now = m_clock.now();
    while (true) {
        if (now - m_lastDraw >= kInterval)
            draw(now);
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

void ProgressLine::draw(SteadyTime now)
{
    m_lastDraw = now;
    std::string text = progressText(m_program, m_run, now);
    // A line longer than the terminal would wrap, and \r would no longer reach its start.
    const int columns = terminalColumns(stderr);
    if (columns > 1 && text.size() >= static_cast<std::size_t>(columns))
        text.resize(static_cast<std::size_t>(columns) - 1);
    if (text == m_lastText)
        return;
    // \r and erase to the end of the line: the line is redrawn in place.
    std::fprintf(stderr, "\r%s\033[K", text.c_str());
    std::fflush(stderr);
    m_lastText = std::move(text);
    m_shown = true;
}

void ProgressLine::clear()
{
    if (!m_shown)
        return;
    std::fputs("\r\033[K", stderr);
    std::fflush(stderr);
    m_shown = false;
    m_lastText.clear();
}

} // namespace rz417::cli
