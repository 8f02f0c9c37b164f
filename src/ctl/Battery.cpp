#include "battery/BatteryRun.h"
#include "ctl/Commands.h"
#include "ctl/Session.h"
#include "meter/Meters.h"
#include "protocol/Frame.h"
#include "protocol/Modes.h"
#include "protocol/SetpointValue.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
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

// The CSV log, a row per reading, each flushed as it goes: a row that cannot be written ends
// the run.
class BatteryLog
{
public:
    ~BatteryLog()
    {
        if (m_file)
            std::fclose(m_file);
    }
    // Creates the file with its header; false with why.
    bool open(const std::string &path, std::string &why)
    {
        m_path = path;
        m_file = std::fopen(path.c_str(), "w");
        return m_file && write(battery::logHeader(), why);
    }
    bool isOpen() const { return m_file != nullptr; }
    bool write(const std::string &row, std::string &why)
    {
        errno = 0;
        if (std::fputs((row + "\n").c_str(), m_file) >= 0 && std::fflush(m_file) == 0)
            return true;
        why = m_path + ": cannot be written (" +
              (errno != 0 ? std::strerror(errno) : "a write failed") + ")";
        return false;
    }

private:
    std::string m_path;
    std::FILE *m_file = nullptr;
};

// Each reading: the progress line on a terminal, a row of the log.
class Readings : public battery::ReadingSink
{
public:
    Readings(StatusLine &progress, BatteryLog &log) : m_progress(progress), m_log(log) {}
    bool reading(const battery::Sample &s, std::string &why) override
    {
        ++m_told;
        if (m_log.isOpen() && !m_log.write(battery::logRow(s), why))
            return false;
        using battery::figureText;
        std::string line = battery::durationText(s.seconds);
        if (s.volts)
            line += "  " + figureText(*s.volts, 3) + " V";
        if (s.amps)
            line += "  " + figureText(*s.amps, 3) + " A";
        line += "  " + figureText(s.ampHours, 4) + " Ah  " + figureText(s.wattHours, 4) + " Wh";
        m_progress.show(line);
        return true;
    }
    long told() const { return m_told; }

private:
    StatusLine &m_progress;
    BatteryLog &m_log;
    long m_told = 0;
};

void printSummary(const battery::DischargeRun &run)
{
    if (run.readings() == 0)
        return;
    for (const std::string &line : battery::summaryLines(run))
        std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

// Connects and asks who the meter is; a signal ends the wait. Nothing after a message.
std::unique_ptr<battery::Meter> greetMeter(const battery::MeterAddress &address, Session &session)
{
    std::string why;
    auto meter =
        meter::connectMeter(address, why, [&session] { return session.watch().interrupted(); });
    std::optional<std::string> identity;
    if (meter)
        identity = meter->ask("*IDN?", why);
    if (session.watch().interrupted())
        return nullptr;
    if (!identity) {
        Session::error("the meter cannot be reached: " + why + "; nothing was sent");
        return nullptr;
    }
    session.notice("meter: " + *identity);
    return meter;
}

// What ended the run, said once the input is off; the exit status.
int endOfRun(Session &session, const battery::DischargeRun &run,
             const battery::DischargeResult &result, bool off)
{
    switch (result.end) {
    case battery::DischargeEnd::Stopped:
        return kExitSent;
    case battery::DischargeEnd::Interrupted:
        return session.interruptedStatus(
            run.readings() == 0
                ? std::string("the start")
                : "reading at " + battery::durationText(run.discharge().last().seconds));
    case battery::DischargeEnd::MeterFailed:
        Session::error("the meter stopped answering (" + result.why + "); " +
                       (off ? "the input was switched off" : "the input may still be on"));
        break;
    case battery::DischargeEnd::LogFailed:
        Session::error(result.why + "; the test was stopped" +
                       (off ? ", the input switched off" : ", the input may still be on"));
        break;
    case battery::DischargeEnd::LineFailed:
        break;
    }
    return kExitFailed;
}

} // namespace

int batteryTest(const Invocation &invocation)
{
    const BatteryPlan &plan = invocation.battery;
    Session session(invocation);
    if (const int status = session.prepare())
        return status;
    BatteryLog log;
    if (std::string why; !plan.log.empty() && !log.open(plan.log, why)) {
        Session::error(why + "; nothing was sent");
        return kExitFailed;
    }
    std::unique_ptr<battery::Meter> meter;
    if (plan.meter) {
        meter = greetMeter(*plan.meter, session);
        if (!meter && !session.watch().interrupted())
            return kExitFailed;
    } else {
        session.notice("no meter: the figures are counted from the setpoint, not measured");
    }
    // A signal before the input goes on ends the run with nothing sent.
    if (session.watch().interrupted())
        return session.interruptedStatus("the start, before anything was sent");
    if (const int status = session.openLine(setpointFrame(plan.mode, plan.value),
                                            setpointMeaning(plan.mode, plan.value),
                                            FrameSource{"battery"}, "the battery test"))
        return status;

    session.holdSleep(RunSleepHold::Until::RunEnds);
    battery::DischargeRun run({plan.mode, plan.value, plan.interval, plan.meterQuery}, plan.stops,
                              meter != nullptr);
    BatteryOut out(session);
    Readings readings(session.progressLine(), log);
    SteadyClock clock;
    const battery::DischargeResult result =
        battery::runDischarge(run, meter.get(), out, clock, session.watch(), readings);
    // Whatever ended it, the input goes off before anything else is written.
    const bool off = session.switchOffIfOn(FrameSource{"battery"});
    // The reading that ended the run is logged after the off frame.
    bool logged = true;
    if (std::string why; run.readings() > readings.told() && log.isOpen() &&
                         !log.write(battery::logRow(run.discharge().last()), why)) {
        Session::error(why + "; the last reading is not in the log");
        logged = false;
    }
    const int status = endOfRun(session, run, result, off);
    printSummary(run);
    return session.finish(logged ? status : kExitFailed);
}

} // namespace rz417::cli
