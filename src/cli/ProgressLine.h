#pragma once

#include "cli/ConsoleWriter.h"
#include "program/ProgramRun.h"

#include <string>

namespace rz417::cli {

// The progress line of a run on a terminal, and the waits that keep it fresh: a sleeper that
// wakes at most ten times a second to redraw, and redraws only between steps, never at the
// moment a step is due. Without a terminal (or with -q) it is the plain sleeper.
class ProgressLine : public Sleeper
{
public:
    ProgressLine(const Program &program, const ProgramRun &run, Clock &clock, Sleeper &sleeper,
                 StatusLine &line);
    ProgressLine(const ProgressLine &) = delete;
    ProgressLine &operator=(const ProgressLine &) = delete;

    bool sleepUntil(SteadyTime until) override;
    bool interrupted() const override { return m_sleeper.interrupted(); }

private:
    static constexpr std::chrono::milliseconds kInterval{100};
    const Program &m_program;
    const ProgramRun &m_run;
    Clock &m_clock;
    Sleeper &m_sleeper;
    StatusLine &m_line;
    SteadyTime m_lastDraw{};
};

} // namespace rz417::cli
