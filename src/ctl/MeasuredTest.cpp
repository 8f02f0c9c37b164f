#include "battery/BatterySetup.h"
#include "ctl/Commands.h"
#include "ctl/Session.h"
#include "measure/RunLog.h"
#include "meter/Meters.h"
#include "protocol/Frame.h"
#include "protocol/Modes.h"
#include "protocol/SetpointValue.h"
#include "protocol/TimeText.h"

#include <cstdio>
#include <memory>

namespace rz417::cli {
namespace {

class TestOut : public measure::FrameOut
{
public:
    TestOut(Session &session, const kinds::Kind &kind) : m_session(session), m_kind(kind) {}
    bool send(const std::string &frame, const std::string &meaning) override
    {
        return m_session.send(frame, meaning, FrameSource{m_kind.name}, m_kind.what);
    }

private:
    Session &m_session;
    const kinds::Kind &m_kind;
};

// Each reading: the progress line on a terminal, a row of the log.
class Readings : public measure::ReadingSink
{
public:
    Readings(StatusLine &progress, measure::RunLog &log) : m_progress(progress), m_log(log) {}
    bool reading(const measure::MeasuredRun &run, std::string &why) override
    {
        ++m_told;
        if (m_log.isOpen() && !m_log.write(run.logRow(), why))
            return false;
        m_progress.show(run.figuresLine());
        return true;
    }
    long told() const { return m_told; }

private:
    StatusLine &m_progress;
    measure::RunLog &m_log;
    long m_told = 0;
};

// Connects and asks who the meter is; a signal ends the wait. Nothing after a message.
std::unique_ptr<measure::Meter> greetMeter(const battery::MeterAddress &address, Session &session,
                                           std::optional<std::string> &greeted)
{
    std::string identity;
    std::string why;
    auto meter = meter::greetMeter(address, identity, why,
                                   [&session] { return session.watch().interrupted(); });
    if (session.watch().interrupted())
        return nullptr;
    if (!meter) {
        Session::error(measure::unreachableMeterLine(why));
        return nullptr;
    }
    session.notice(measure::meterLine(identity));
    greeted = identity;
    return meter;
}

// The errors of a run that failed, said once the input is off.
void sayFailure(const measure::RunResult &result, bool off)
{
    switch (result.end) {
    case measure::RunEnd::MeterFailed:
        Session::error("the meter stopped answering (" + result.why + "); " +
                       (off ? "the input was switched off" : "the input may still be on"));
        break;
    case measure::RunEnd::LogFailed:
        Session::error(result.why + "; the test was stopped" +
                       (off ? ", the input switched off" : ", the input may still be on"));
        break;
    default:
        break;
    }
}

// The end, said once the input is off: the errors, the summary (as JSON when asked, on every
// end); the exit status.
int endOfRun(Session &session, const measure::MeasuredRun &run, const measure::RunEndWords &words,
             const std::optional<std::string> &json)
{
    sayFailure(words.result, words.off);
    if (!words.logLost.empty())
        Session::error(words.logLost + "; the last reading is not in the log");
    int status = measure::succeeded(words) ? kExitSent : kExitFailed;
    if (words.result.end == measure::RunEnd::Interrupted)
        status = session.interruptedStatus(run.readings() == 0 ? std::string("the start")
                                                               : "reading at " + words.after);
    if (json) {
        std::printf("%s\n", json->c_str());
        std::fflush(stdout);
    } else if (run.readings() > 0 || words.result.end == measure::RunEnd::Interrupted) {
        for (const std::string &line : measure::endLines(words))
            std::printf("%s\n", line.c_str());
        std::fflush(stdout);
    }
    return status;
}

} // namespace

int measuredTest(const Invocation &invocation)
{
    const kinds::Kind &kind = *invocation.kind;
    const kinds::Test &test = *invocation.test;
    Session session(invocation);
    if (const int status = session.prepare())
        return status;
    std::unique_ptr<measure::MeasuredRun> run = test.makeRun(test.meter().has_value());
    measure::RunLog log;
    if (std::string why; !test.log().empty() && !log.open(test.log(), run->logHeader(), why)) {
        Session::error(why + "; nothing was sent");
        return kExitFailed;
    }
    std::unique_ptr<measure::Meter> meter;
    std::optional<std::string> identity;
    if (test.meter()) {
        meter = greetMeter(*test.meter(), session, identity);
        if (!meter && !session.watch().interrupted())
            return kExitFailed;
    } else {
        session.notice(battery::kUnmeteredLine);
    }
    // A signal before the input goes on ends the run with nothing sent.
    if (session.watch().interrupted())
        return session.interruptedStatus("the start, before anything was sent");
    std::string meaning;
    const std::string first = run->firstFrame(meaning);
    if (const int status = session.openLine(first, meaning, FrameSource{kind.name}, kind.what))
        return status;

    session.holdSleep(RunSleepHold::Until::RunEnds);
    TestOut out(session, kind);
    Readings readings(session.progressLine(), log);
    SteadyClock clock;
    const measure::RunResult result =
        measure::runMeasured(*run, meter.get(), out, clock, session.watch(), readings);
    // Whatever ended it, the input goes off before anything else is written.
    const bool wasOn = session.frames().load().inputMayBeOn;
    const bool off = session.switchOffIfOn(FrameSource{kind.name});
    measure::RunEndWords words = run->endWords(result, wasOn, off);
    // The reading that ended the run is logged after the off frame.
    if (std::string why;
        run->readings() > readings.told() && log.isOpen() && !log.write(run->logRow(), why))
        words.logLost = why;
    std::optional<std::string> json;
    if (invocation.json)
        json = run->summaryJson(result, off, identity);
    return session.finish(endOfRun(session, *run, words, json));
}

} // namespace rz417::cli
