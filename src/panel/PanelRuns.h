#pragma once

#include "measure/MeasuredRun.h"
#include "panel/PanelRun.h"
#include "program/Program.h"

#include <memory>

namespace rz417 {

// A setpoint program on the panel (passes 0: until stopped). After each step the panel shows and
// holds what was sent; the input stays as the last step left it.
class ProgramPanelRun : public PanelRun
{
public:
    ProgramPanelRun(std::shared_ptr<const Program> program, int passes);

    const Program &program() const { return *m_program; }
    const ProgramRun &run() const { return m_run; }

    std::optional<measure::RunResult> begin(RunLine &line, Clock &clock) override;
    std::optional<SteadyTime> nextDue() const override { return m_run.nextDue(); }
    std::optional<measure::RunResult> step(RunLine &line, SteadyTime now,
                                           const MeterReading *reading) override;
    void stop() override { m_run.stop(); }
    const char *what() const override { return "a program"; }
    // As the program's, at the step where it stopped, as a terminal run journals it.
    FrameSource offSource() const override;
    bool offWhenDone() const override { return false; }
    // As a terminal run's stop does: the off frame goes out whatever the panel shows.
    bool offAtEveryStop() const override { return true; }

private:
    class Sender;

    std::shared_ptr<const Program> m_program;
    ProgramRun m_run;
};

// A measured test on the panel (a battery test, and the tests to come): what it sends first as
// it begins, then a reading at each due time, until it ends; the input goes off at every end.
class MeasuredPanelRun : public PanelRun
{
public:
    // what: "a battery test"; source: its frames' in the journal, "battery".
    MeasuredPanelRun(std::unique_ptr<measure::MeasuredRun> run, const char *what,
                     const char *source);

    const measure::MeasuredRun &run() const { return *m_run; }

    std::optional<measure::RunResult> begin(RunLine &line, Clock &clock) override;
    std::optional<SteadyTime> nextDue() const override;
    std::optional<measure::RunResult> step(RunLine &line, SteadyTime now,
                                           const MeterReading *reading) override;
    const char *what() const override { return m_what; }
    FrameSource offSource() const override { return {m_source}; }
    bool offWhenDone() const override { return true; }

private:
    std::unique_ptr<measure::MeasuredRun> m_run;
    const char *m_what;
    const char *m_source;
    SteadyTime m_start{};
};

} // namespace rz417
