#include "cli/ProgramText.h"
#include "cli/ProgressLine.h"
#include "ctl/Commands.h"
#include "ctl/Session.h"
#include "program/Program.h"
#include "protocol/SetpointValue.h"

#include <cstdio>

namespace rz417::cli {

namespace {

// Where a step stands, for messages: "step 3 (prog.csv line 4)", with the pass when it repeats.
std::string stepPlace(const std::string &file, const ProgramRun &run, const Program &program)
{
    const auto current = run.currentStep();
    if (!current)
        return "the start";
    std::string text = "step " + std::to_string(*current + 1) + " (" + file + " line " +
                       std::to_string(program.steps[*current].line) + ")";
    if (run.passes() != 1)
        text += " of pass " + std::to_string(run.currentPass());
    return text;
}

// A run's frames go out through the session: onto the line, into the journal, under -v.
class SessionSender : public FrameSender
{
public:
    SessionSender(Session &session, const std::string &file) : m_session(session), m_file(file) {}
    std::string send(const ProgramStep &step, std::size_t index, int pass,
                     const StepFrame &frame) override
    {
        const FrameSource from{"program", static_cast<int>(index) + 1, step.line};
        std::string place = "step " + std::to_string(index + 1) + " (" + m_file + " line " +
                            std::to_string(step.line) + ")";
        if (pass > 1)
            place += " of pass " + std::to_string(pass);
        if (!m_session.send(frame.frame, frame.meaning, from, place))
            return "stopped";
        return {};
    }

private:
    Session &m_session;
    const std::string &m_file;
};

// Says what is wrong with the program and that it was refused; false when nothing is.
bool refused(const std::string &file, const Program &program)
{
    if (program.problems.empty())
        return false;
    for (const ProgramProblem &problem : program.problems)
        std::fprintf(stderr, "%s\n", problemText(file, problem).c_str());
    std::fprintf(stderr,
                 "rz417ctl: %s: the program was refused (%zu problem%s); nothing "
                 "was sent\n",
                 file.c_str(), program.problems.size(), program.problems.size() == 1 ? "" : "s");
    return true;
}

void noticeRounding(Session &session, const std::string &file, const Program &program)
{
    for (const ProgramStep &step : program.steps) {
        if (step.mode == 0)
            continue;
        if (const auto notice = roundingNotice(step.mode, step.setpoint))
            session.notice(file + ":" + std::to_string(step.line) + ": " + *notice);
    }
}

// The line opens for the first frame the program sends. Returns 0, or the exit status.
int openLineForFirstFrame(Session &session, const std::string &file, const Program &program)
{
    for (std::size_t i = 0; i < program.steps.size(); ++i) {
        const auto frames = stepFrames(program.steps[i]);
        if (frames.empty())
            continue;
        const FrameSource from{"program", static_cast<int>(i) + 1, program.steps[i].line};
        const std::string place = "step " + std::to_string(i + 1) + " (" + file + " line " +
                                  std::to_string(program.steps[i].line) + ")";
        return session.openLine(frames.front().frame, frames.front().meaning, from, place);
    }
    return 0;
}

// How the run ended, as its exit status: an input left on goes off before anything is said.
int endRun(Session &session, const std::string &file, const Program &program, const ProgramRun &run,
           RunEnd end)
{
    const auto current = run.currentStep();
    const FrameSource last{"program", current ? static_cast<int>(*current) + 1 : 0,
                           current ? program.steps[*current].line : 0};
    if (end == RunEnd::Failed) {
        session.switchOffIfOn(last);
        return session.finish(kExitFailed);
    }
    if (end == RunEnd::Interrupted || session.watch().caught() != 0) {
        // The input goes off first; what interrupted the run is said after it.
        session.switchOffIfOn(last);
        return session.finish(session.interruptedStatus(stepPlace(file, run, program)));
    }
    return session.finish(kExitSent);
}

// The run from its first step to its end, on a line already open.
int playProgram(Session &session, const Invocation &invocation, const Program &program)
{
    const std::string &file = invocation.programFile;
    session.holdSleep(RunSleepHold::Until::RunEnds);
    SteadyClock clock;
    ProgramRun run(program, invocation.repeat);
    SessionSender sender(session, file);
    ProgressLine progress(program, run, clock, session.watch(), session.progressLine());
    const SteadyTime start = clock.now();
    run.start(start);
    RunEnd end = runToEnd(run, clock, progress, sender);
    // The last step lasts its dwell too: the run ends when the list's time is up.
    if (end == RunEnd::Finished && !progress.sleepUntil(start + program.duration() * run.passes()))
        end = RunEnd::Interrupted;
    return endRun(session, file, program, run, end);
}

} // namespace

int runProgram(const Invocation &invocation)
{
    const std::string &file = invocation.programFile;
    const Program program = loadProgram(file);
    if (refused(file, program))
        return kExitUsage;

    Session session(invocation);
    noticeRounding(session, file, program);
    if (invocation.dryRun) {
        for (const std::string &line : scheduleText(program, invocation.repeat))
            std::printf("%s\n", line.c_str());
        return kExitSent;
    }
    if (const int status = session.prepare())
        return status;
    if (const int status = openLineForFirstFrame(session, file, program))
        return status;
    return playProgram(session, invocation, program);
}

} // namespace rz417::cli
