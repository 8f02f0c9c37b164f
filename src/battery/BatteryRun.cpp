#include "battery/BatteryRun.h"

#include "battery/BatterySetup.h"
#include "battery/BatteryWords.h"
#include "protocol/Frame.h"
#include "protocol/Modes.h"
#include "protocol/SetpointValue.h"
#include "protocol/TimeText.h"

#include <cmath>
#include <cstdio>

namespace rz417::battery {

double setpointUnits(int16_t mode, int32_t value)
{
    if (mode == ModeCodes::CC) {
        const CurrentValue sent = currentFrameValue(value);
        return sent.code == modeInfo(ModeCodes::CC)->frameCode ? sent.value / 1000.0
                                                               : sent.value / 100.0;
    }
    return value / std::pow(10.0, modeInfo(mode)->decimals);
}

DischargeRun::DischargeRun(const DischargePlan &plan, const Stops &stops, bool metered)
    : m_plan(plan), m_discharge(plan.mode, setpointUnits(plan.mode, plan.value), stops),
      m_metered(metered)
{
    if (stops.timeMs)
        m_timeStop = std::chrono::milliseconds(*stops.timeMs);
}

std::optional<DischargeResult> DischargeRun::begin(FrameOut &out,
                                                   const std::function<bool()> &stopped)
{
    const auto stop = [&stopped] { return stopped && stopped(); };
    if (stop())
        return DischargeResult{DischargeEnd::Interrupted, {}};
    std::string meaning;
    const std::string frame = firstFrame(meaning);
    if (!out.send(frame, meaning))
        return DischargeResult{DischargeEnd::LineFailed, "the setpoint did not go out"};
    if (stop())
        return DischargeResult{DischargeEnd::Interrupted, {}};
    if (!out.send(inputFrame(true), inputMeaning(true)))
        return DischargeResult{DischargeEnd::LineFailed, "the input-on frame did not go out"};
    return std::nullopt;
}

std::string DischargeRun::firstFrame(std::string &meaning) const
{
    meaning = setpointMeaning(m_plan.mode, m_plan.value);
    return setpointFrame(m_plan.mode, m_plan.value);
}

std::chrono::milliseconds DischargeRun::dueAt(long index) const
{
    const std::chrono::milliseconds due(m_plan.interval.count() * index);
    return m_timeStop && due > *m_timeStop ? *m_timeStop : due;
}

std::chrono::microseconds DischargeRun::nextDue() const
{
    return dueAt(m_next);
}

std::optional<DischargeResult> DischargeRun::reading(const std::optional<std::string> &answer,
                                                     const std::string &why,
                                                     std::chrono::nanoseconds at)
{
    std::optional<double> volts;
    if (m_metered) {
        if (answer)
            volts = parseReading(*answer);
        if (!volts)
            return DischargeResult{
                DischargeEnd::MeterFailed,
                answer ? "it answered " + quotedWord(*answer) + ", which is no number" : why};
    }
    m_discharge.take(std::chrono::duration<double>(at).count(), volts);
    if (m_discharge.stopped() != StopReason::None)
        return DischargeResult{DischargeEnd::Stopped, {}};
    // A late answer never piles readings up: the due times it passed are skipped, the time
    // stop's own excepted, which is taken at once.
    ++m_next;
    while (dueAt(m_next) <= at && !(m_timeStop && dueAt(m_next) == *m_timeStop)) {
        ++m_next;
        ++m_skipped;
    }
    return std::nullopt;
}

std::optional<DischargeResult> DischargeRun::take(const std::optional<std::string> &answer,
                                                  const std::string &why,
                                                  std::chrono::nanoseconds at, FrameOut &)
{
    return reading(answer, why, at);
}

std::string DischargeRun::logHeader() const
{
    return battery::logHeader();
}

std::string DischargeRun::logRow() const
{
    return battery::logRow(m_discharge.last());
}

std::string DischargeRun::figuresLine() const
{
    return battery::figuresLine(m_discharge.last());
}

std::string figureText(double value, int decimals)
{
    return fixedText(std::llround(value * std::pow(10.0, decimals)), decimals);
}

namespace {

std::string optionalFigure(const std::optional<double> &value, int decimals)
{
    return value ? figureText(*value, decimals) : std::string();
}

} // namespace

const char *logHeader()
{
    return "time_s,voltage_V,current_A,power_W,capacity_Ah,energy_Wh";
}

std::string logRow(const Sample &s)
{
    return figureText(s.seconds, 3) + ',' + optionalFigure(s.volts, 4) + ',' +
           optionalFigure(s.amps, 4) + ',' + optionalFigure(s.watts, 3) + ',' +
           figureText(s.ampHours, 6) + ',' + figureText(s.wattHours, 6);
}

std::vector<std::string> figureLines(const DischargeRun &run)
{
    const Discharge &discharge = run.discharge();
    const Sample &last = discharge.last();
    std::vector<std::string> lines;
    lines.push_back("capacity " + figureText(last.ampHours, 4) + " Ah, energy " +
                    figureText(last.wattHours, 4) + " Wh");
    if (const auto mean = discharge.meanVolts())
        lines.push_back("voltage: mean " + figureText(*mean, 3) + " V, end " +
                        optionalFigure(last.volts, 3) + " V");
    if (!run.metered())
        lines.push_back("without a meter these figures are the commanded ones, not measured");
    if (run.skipped() > 0)
        lines.push_back(std::to_string(run.skipped()) + " due reading" +
                        (run.skipped() == 1 ? " was" : "s were") +
                        " skipped: the meter answered after the next was due");
    if (const long bounded = discharge.boundedReadings())
        lines.push_back("the current was bounded to what the load can draw (" +
                        figureText(loadMostAmps(), 0) + " A, " + figureText(loadMostWatts(), 0) +
                        " W) in " + std::to_string(bounded) + " of " +
                        std::to_string(discharge.readings()) + " readings");
    return lines;
}

} // namespace rz417::battery
