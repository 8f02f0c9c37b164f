#include "program/ProgramRun.h"

#include "protocol/Frame.h"

#include <algorithm>

namespace rz417 {

std::vector<StepFrame> stepFrames(const ProgramStep &step)
{
    std::vector<StepFrame> frames;
    if (step.mode != 0)
        frames.push_back({setpointFrame(step.mode, step.setpoint),
                          setpointMeaning(step.mode, step.setpoint)});
    if (step.input)
        frames.push_back({inputFrame(*step.input), inputMeaning(*step.input)});
    return frames;
}

ProgramRun::ProgramRun(const Program &program, int passes)
    // A program of no length would repeat without pause: it runs once.
    : m_program(program), m_passes(program.duration().count() == 0 ? 1 : std::max(passes, 0))
{
}

void ProgramRun::start(SteadyTime now)
{
    m_start = now;
    m_started = true;
    m_stopped = m_program.steps.empty();
    m_next = 0;
    m_current.reset();
    m_currentPass = 0;
    m_error.clear();
}

std::optional<SteadyTime> ProgramRun::nextDue() const
{
    if (!running())
        return std::nullopt;
    const std::size_t count = m_program.steps.size();
    const auto pass = static_cast<int64_t>(m_next / count);
    return m_start + pass * m_program.duration() + m_program.steps[m_next % count].start;
}

bool ProgramRun::advance(SteadyTime now, FrameSender &sender)
{
    const std::size_t count = m_program.steps.size();
    for (auto due = nextDue(); due && *due <= now; due = nextDue()) {
        const std::size_t index = m_next % count;
        const int pass = static_cast<int>(m_next / count) + 1;
        const ProgramStep &step = m_program.steps[index];
        m_current = index;
        m_currentPass = pass;
        for (const StepFrame &frame : stepFrames(step)) {
            std::string error = sender.send(step, index, pass, frame);
            if (!error.empty()) {
                m_error = std::move(error);
                m_stopped = true;
                return false;
            }
        }
        ++m_next;
    }
    return true;
}

void ProgramRun::stop()
{
    m_stopped = true;
}

bool ProgramRun::running() const
{
    return m_started && !m_stopped && !finished();
}

bool ProgramRun::finished() const
{
    return m_started && m_passes != 0 &&
           m_next >= m_program.steps.size() * static_cast<std::size_t>(m_passes);
}

const std::string &ProgramRun::error() const
{
    return m_error;
}

std::optional<std::size_t> ProgramRun::currentStep() const
{
    return m_current;
}

int ProgramRun::currentPass() const
{
    return m_currentPass;
}

int ProgramRun::passes() const
{
    return m_passes;
}

std::chrono::milliseconds ProgramRun::elapsed(SteadyTime now) const
{
    if (!m_started || now < m_start)
        return std::chrono::milliseconds(0);
    return std::chrono::duration_cast<std::chrono::milliseconds>(now - m_start);
}

std::optional<std::chrono::milliseconds> ProgramRun::remaining(SteadyTime now) const
{
    if (m_passes == 0)
        return std::nullopt;
    const std::chrono::milliseconds total = m_program.duration() * m_passes;
    const std::chrono::milliseconds done = elapsed(now);
    return done >= total ? std::chrono::milliseconds(0) : total - done;
}

RunEnd runToEnd(ProgramRun &run, Clock &clock, Sleeper &sleeper, FrameSender &sender)
{
    while (const auto due = run.nextDue()) {
        if (!sleeper.sleepUntil(*due)) {
            run.stop();
            return RunEnd::Interrupted;
        }
        if (!run.advance(clock.now(), sender))
            return RunEnd::Failed;
    }
    return run.finished() ? RunEnd::Finished : RunEnd::Interrupted;
}

} // namespace rz417
