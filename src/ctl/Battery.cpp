#include "battery/BatteryRun.h"
#include "cli/Console.h"
#include "ctl/Commands.h"
#include "ctl/Meters.h"
#include "ctl/Session.h"
#include "protocol/Frame.h"
#include "protocol/Modes.h"
#include "protocol/SetpointValue.h"

#include <cmath>
#include <cstdio>
#include <fstream>
#include <memory>

namespace rz417::cli {
namespace {

// A measured figure in the journal's locale-independent form: "3.7123".
std::string fixed(double value, int decimals)
{
    return fixedText(std::llround(value * std::pow(10.0, decimals)), decimals);
}

std::string optionalFixed(const std::optional<double> &value, int decimals)
{
    return value ? fixed(*value, decimals) : std::string();
}

// "1:02:03" from seconds.
std::string clockText(double seconds)
{
    const long total = std::lround(seconds);
    char text[32];
    std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", total / 3600, total / 60 % 60, total % 60);
    return text;
}

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
            *m_log << fixed(s.seconds, 3) << ',' << optionalFixed(s.volts, 4) << ','
                   << optionalFixed(s.amps, 4) << ',' << optionalFixed(s.watts, 3) << ','
                   << fixed(s.ampHours, 6) << ',' << fixed(s.wattHours, 6) << '\n';
            m_log->flush();
        }
        if (!m_progress)
            return;
        std::string line = "\r" + clockText(s.seconds);
        if (s.volts)
            line += "  " + fixed(*s.volts, 3) + " V";
        if (s.amps)
            line += "  " + fixed(*s.amps, 3) + " A";
        line += "  " + fixed(s.ampHours, 4) + " Ah  " + fixed(s.wattHours, 4) + " Wh ";
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

void printSummary(const battery::Discharge &discharge, bool metered)
{
    const battery::Sample &last = discharge.last();
    std::printf("stopped by %s after %s\n", battery::stopText(discharge.stopped()),
                clockText(last.seconds).c_str());
    std::printf("capacity %s Ah, energy %s Wh\n", fixed(last.ampHours, 4).c_str(),
                fixed(last.wattHours, 4).c_str());
    if (const auto mean = discharge.meanVolts())
        std::printf("voltage: mean %s V, end %s V\n", fixed(*mean, 3).c_str(),
                    optionalFixed(last.volts, 3).c_str());
    if (!metered)
        std::printf("without a meter these figures are the commanded ones, not measured\n");
}

// The setpoint as the discharge counts it, as it went out: amperes (above the low range in
// 0.01 A steps), watts or ohms.
double setpointUnits(int16_t mode, int32_t value)
{
    if (mode == ModeCodes::CC) {
        const CurrentValue sent = currentFrameValue(value);
        return sent.code == modeInfo(ModeCodes::CC)->frameCode ? sent.value / 1000.0
                                                               : sent.value / 100.0;
    }
    return value / std::pow(10.0, modeInfo(mode)->decimals);
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
        *log << "time_s,voltage_V,current_A,power_W,capacity_Ah,energy_Wh\n";
        log->flush();
    }
    std::unique_ptr<battery::Meter> meter;
    if (plan.meter) {
        std::string why;
        meter = connectMeter(*plan.meter, why);
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

    battery::Discharge discharge(plan.mode, setpointUnits(plan.mode, plan.value), plan.stops);
    BatteryOut out(session);
    Readings readings(!invocation.quiet && isTerminal(stderr), log.get());
    SteadyClock clock;
    std::optional<std::chrono::milliseconds> timeStop;
    if (plan.stops.timeMs)
        timeStop = std::chrono::milliseconds(*plan.stops.timeMs);
    const battery::DischargeResult result =
        battery::runDischarge({plan.mode, plan.value, plan.interval, plan.meterQuery}, discharge,
                              meter.get(), out, clock, session.watch(), readings, timeStop);
    const FrameSource from{"battery"};
    // Whatever ended it, the input goes off before anything else is said.
    session.switchOffIfOn(from);
    readings.clear();
    switch (result.end) {
    case battery::DischargeEnd::Stopped:
        printSummary(discharge, meter != nullptr);
        return session.finish(kExitSent);
    case battery::DischargeEnd::Interrupted: {
        const int status =
            session.interruptedStatus("reading at " + clockText(discharge.last().seconds));
        printSummary(discharge, meter != nullptr);
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
