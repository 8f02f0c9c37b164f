#include "battery/BatteryRun.h"
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

class BatteryOut : public measure::FrameOut
{
public:
    explicit BatteryOut(Session &session) : m_session(session) {}
    bool send(const std::string &frame, const std::string &meaning) override
    {
        return m_session.send(frame, meaning, FrameSource{"battery"}, "the battery test");
    }

private:
    Session &m_session;
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
void sayFailure(const battery::DischargeResult &result, bool off)
{
    switch (result.end) {
    case battery::DischargeEnd::MeterFailed:
        Session::error("the meter stopped answering (" + result.why + "); " +
                       (off ? "the input was switched off" : "the input may still be on"));
        break;
    case battery::DischargeEnd::LogFailed:
        Session::error(result.why + "; the test was stopped" +
                       (off ? ", the input switched off" : ", the input may still be on"));
        break;
    default:
        break;
    }
}

// The end, said once the input is off: the errors, the summary (as JSON when asked, on every
// end); the exit status.
int endOfRun(Session &session, const battery::DischargeRun &run, const measure::RunEndWords &words,
             const std::optional<std::string> &json)
{
    sayFailure(words.result, words.off);
    if (!words.logLost.empty())
        Session::error(words.logLost + "; the last reading is not in the log");
    int status = measure::succeeded(words) ? kExitSent : kExitFailed;
    if (words.result.end == battery::DischargeEnd::Interrupted)
        status = session.interruptedStatus(
            run.readings() == 0 ? std::string("the start")
                                : "reading at " + durationText(run.discharge().last().seconds));
    if (json) {
        std::printf("%s\n", json->c_str());
        std::fflush(stdout);
    } else if (run.readings() > 0 || words.result.end == battery::DischargeEnd::Interrupted) {
        for (const std::string &line : measure::endLines(words))
            std::printf("%s\n", line.c_str());
        std::fflush(stdout);
    }
    return status;
}

} // namespace

int batteryTest(const Invocation &invocation)
{
    const battery::Setup &setup = invocation.battery;
    Session session(invocation);
    if (const int status = session.prepare())
        return status;
    measure::RunLog log;
    if (std::string why; !setup.log.empty() && !log.open(setup.log, battery::logHeader(), why)) {
        Session::error(why + "; nothing was sent");
        return kExitFailed;
    }
    std::unique_ptr<measure::Meter> meter;
    std::optional<std::string> identity;
    if (setup.meter) {
        meter = greetMeter(*setup.meter, session, identity);
        if (!meter && !session.watch().interrupted())
            return kExitFailed;
    } else {
        session.notice(battery::kUnmeteredLine);
    }
    // A signal before the input goes on ends the run with nothing sent.
    if (session.watch().interrupted())
        return session.interruptedStatus("the start, before anything was sent");
    const battery::DischargePlan &plan = setup.plan;
    if (const int status = session.openLine(setpointFrame(plan.mode, plan.value),
                                            setpointMeaning(plan.mode, plan.value),
                                            FrameSource{"battery"}, "the battery test"))
        return status;

    session.holdSleep(RunSleepHold::Until::RunEnds);
    battery::DischargeRun run(plan, setup.stops, meter != nullptr);
    BatteryOut out(session);
    Readings readings(session.progressLine(), log);
    SteadyClock clock;
    const battery::DischargeResult result =
        measure::runMeasured(run, meter.get(), out, clock, session.watch(), readings);
    // Whatever ended it, the input goes off before anything else is written.
    const bool wasOn = session.frames().load().inputMayBeOn;
    const bool off = session.switchOffIfOn(FrameSource{"battery"});
    measure::RunEndWords words = battery::endWords(run, result, wasOn, off);
    // The reading that ended the run is logged after the off frame.
    if (std::string why;
        run.readings() > readings.told() && log.isOpen() && !log.write(run.logRow(), why))
        words.logLost = why;
    std::optional<std::string> json;
    if (invocation.json)
        json = battery::summaryJson(run, result, off, identity);
    return session.finish(endOfRun(session, run, words, json));
}

} // namespace rz417::cli
