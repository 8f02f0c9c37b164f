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

class BatteryLine : public battery::FrameOut
{
public:
    explicit BatteryLine(RunLine &line) : m_line(line) {}
    bool send(const std::string &frame, const std::string &meaning) override
    {
        return m_line.send(frame, meaning, {"battery"}).empty();
    }

private:
    RunLine &m_line;
};

} // namespace

BatteryPanelRun::BatteryPanelRun(std::unique_ptr<battery::DischargeRun> run) : m_run(std::move(run))
{
}

std::optional<measure::RunResult> BatteryPanelRun::begin(RunLine &line, Clock &clock)
{
    BatteryLine out(line);
    if (auto failed = m_run->begin(out))
        return failed;
    // The readings are timed from the input going on.
    m_start = clock.now();
    return std::nullopt;
}

std::optional<SteadyTime> BatteryPanelRun::nextDue() const
{
    return m_start + m_run->nextDue();
}

std::optional<measure::RunResult> BatteryPanelRun::step(RunLine &, SteadyTime now,
                                                        const MeterReading *reading)
{
    return m_run->reading(reading ? reading->answer : std::nullopt, reading ? reading->why : "",
                          now - m_start);
}

} // namespace rz417
