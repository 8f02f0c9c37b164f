#include "panel/PanelRuns.h"

namespace rz417 {

class ProgramPanelRun::Sender : public FrameSender
{
public:
    explicit Sender(RunLine &line) : m_line(line) {}
    std::string send(const ProgramStep &step, std::size_t index, int,
                     const StepFrame &frame) override
    {
        // The panel shows the step's own setpoint, as keyed, not what the frame rounds it to.
        FrameEffect shown{step.mode, step.setpoint, false};
        if (step.input && frame.frame == inputFrame(*step.input))
            shown = {0, 0, *step.input};
        return m_line.send(frame.frame, frame.meaning,
                           {"program", static_cast<int>(index) + 1, step.line}, shown);
    }

private:
    RunLine &m_line;
};

ProgramPanelRun::ProgramPanelRun(std::shared_ptr<const Program> program, int passes)
    : m_program(std::move(program)), m_run(*m_program, passes)
{
}

std::optional<measure::RunResult> ProgramPanelRun::begin(RunLine &, Clock &clock)
{
    m_run.start(clock.now());
    return std::nullopt;
}

std::optional<measure::RunResult> ProgramPanelRun::step(RunLine &line, SteadyTime now,
                                                        const MeterReading *)
{
    Sender sender(line);
    const bool sent = m_run.advance(now, sender);
    if (m_run.running())
        return std::nullopt;
    if (!sent)
        return measure::RunResult{measure::RunEnd::LineFailed, m_run.error()};
    return measure::RunResult{};
}

FrameSource ProgramPanelRun::offSource() const
{
    const auto current = m_run.currentStep();
    return {"program", current ? static_cast<int>(*current) + 1 : 0,
            current ? m_program->steps[*current].line : 0};
}

namespace {

class MeasuredLine : public measure::FrameOut
{
public:
    MeasuredLine(RunLine &line, const char *source) : m_line(line), m_source(source) {}
    bool send(const std::string &frame, const std::string &meaning) override
    {
        return m_line.send(frame, meaning, {m_source}).empty();
    }

private:
    RunLine &m_line;
    const char *m_source;
};

} // namespace

MeasuredPanelRun::MeasuredPanelRun(std::unique_ptr<measure::MeasuredRun> run, const char *what,
                                   const char *source)
    : m_run(std::move(run)), m_what(what), m_source(source)
{
}

std::optional<measure::RunResult> MeasuredPanelRun::begin(RunLine &line, Clock &clock)
{
    MeasuredLine out(line, m_source);
    if (auto failed = m_run->begin(out, {}))
        return failed;
    // The readings are timed from the input going on.
    m_start = clock.now();
    return std::nullopt;
}

std::optional<SteadyTime> MeasuredPanelRun::nextDue() const
{
    return m_start + m_run->nextDue();
}

std::optional<measure::RunResult> MeasuredPanelRun::step(RunLine &line, SteadyTime now,
                                                         const MeterReading *reading)
{
    MeasuredLine out(line, m_source);
    return m_run->take(reading ? reading->answer : std::nullopt, reading ? reading->why : "",
                       now - m_start, out);
}

} // namespace rz417
