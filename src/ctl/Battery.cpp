#include "battery/BatteryRun.h"
#include "cli/Console.h"
#include "ctl/Commands.h"
#include "ctl/Session.h"
#include "meter/Meters.h"
#include "protocol/Frame.h"
#include "protocol/Modes.h"
#include "protocol/SetpointValue.h"

#include <cstdio>
#include <fstream>
#include <memory>

namespace rz417::cli {
namespace {

class BatteryOut : public battery::FrameOut
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
class Readings : public battery::ReadingSink
{
public:
    Readings(bool progress, std::ofstream *log) : m_progress(progress), m_log(log) {}
    void reading(const battery::Sample &s) override
    {
        if (m_log) {
            *m_log << battery::logRow(s) << '\n';
            m_log->flush();
        }
        if (!m_progress)
            return;
        using battery::figureText;
        std::string line = "\r" + battery::durationText(s.seconds);
        if (s.volts)
            line += "  " + figureText(*s.volts, 3) + " V";
        if (s.amps)
            line += "  " + figureText(*s.amps, 3) + " A";
        line += "  " + figureText(s.ampHours, 4) + " Ah  " + figureText(s.wattHours, 4) + " Wh ";
        std::fputs(line.c_str(), stderr);
        std::fflush(stderr);
        m_shown = true;
    }
    void clear()
    {
        if (m_shown)
            std::fputs("\n", stderr);
        m_shown = false;
    }

private:
    bool m_progress;
    std::ofstream *m_log;
    bool m_shown = false;
};

void printSummary(const battery::DischargeRun &run)
{
    for (const std::string &line : battery::summaryLines(run))
        std::printf("%s\n", line.c_str());
}

} // namespace

int batteryTest(const Invocation &invocation)
{
    const BatteryPlan &plan = invocation.battery;
    Session session(invocation);
    if (const int status = session.prepare())
        return status;
    std::unique_ptr<std::ofstream> log;
    if (!plan.log.empty()) {
        log = std::make_unique<std::ofstream>(plan.log, std::ios::out | std::ios::trunc);
        if (!*log) {
            Session::error(plan.log + ": cannot be written; nothing was sent");
            return kExitFailed;
        }
        *log << battery::logHeader() << '\n';
        log->flush();
    }
    std::unique_ptr<battery::Meter> meter;
    if (plan.meter) {
        std::string why;
        meter = meter::connectMeter(*plan.meter, why);
        std::optional<std::string> identity;
        if (meter)
            identity = meter->ask("*IDN?", why);
        if (!identity) {
            Session::error("the meter cannot be reached: " + why + "; nothing was sent");
            return kExitFailed;
        }
        session.notice("meter: " + *identity);
    } else {
        session.notice("no meter: the figures are counted from the setpoint, not measured");
    }
    if (const int status = session.openLine(setpointFrame(plan.mode, plan.value),
                                            setpointMeaning(plan.mode, plan.value),
                                            FrameSource{"battery"}, "the battery test"))
        return status;

    session.holdSleep(RunSleepHold::Until::RunEnds);
    battery::DischargeRun run({plan.mode, plan.value, plan.interval, plan.meterQuery}, plan.stops,
                              meter != nullptr);
    BatteryOut out(session);
    Readings readings(!invocation.quiet && isTerminal(stderr), log.get());
    SteadyClock clock;
    const battery::DischargeResult result =
        battery::runDischarge(run, meter.get(), out, clock, session.watch(), readings);
    const FrameSource from{"battery"};
    // Whatever ended it, the input goes off before anything else is said.
    session.switchOffIfOn(from);
    readings.clear();
    switch (result.end) {
    case battery::DischargeEnd::Stopped:
        printSummary(run);
        return session.finish(kExitSent);
    case battery::DischargeEnd::Interrupted: {
        const int status = session.interruptedStatus(
            "reading at " + battery::durationText(run.discharge().last().seconds));
        printSummary(run);
        return session.finish(status);
    }
    case battery::DischargeEnd::MeterFailed:
        Session::error("the meter stopped answering (" + result.why +
                       "); the input was switched off");
        break;
    case battery::DischargeEnd::LineFailed:
        break;
    }
    return session.finish(kExitFailed);
}

} // namespace rz417::cli
