#pragma once

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
                 bool enabled);
    ~ProgressLine() override;
    ProgressLine(const ProgressLine &) = delete;
    ProgressLine &operator=(const ProgressLine &) = delete;

    bool sleepUntil(SteadyTime until) override;
    // Removes the line, so that messages start at the left margin.
    void clear();

private:
    void draw(SteadyTime now);

    static constexpr std::chrono::milliseconds kInterval{100};
    const Program &m_program;
    const ProgramRun &m_run;
    Clock &m_clock;
    Sleeper &m_sleeper;
    bool m_enabled;
    bool m_shown = false;
    SteadyTime m_lastDraw{};
    std::string m_lastText;
};

} // namespace rz417::cli
