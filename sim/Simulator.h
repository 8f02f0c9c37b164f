#pragma once

#include "Battery.h"
#include "FrameDecoder.h"
#include "LineCheck.h"
#include "LoadState.h"
#include "Report.h"
#include "SolarCell.h"
#include "SourceModel.h"
#include "Supply.h"

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace rz417::sim {

// The instrument's side of the line without the terminal: what arrives and when goes in, the
// lines to print come out. The load keeps its state from one connection to the next, as the
// instrument does when the panel is restarted.
class Simulator
{
public:
    using SteadyTime = FrameDecoder::Clock::time_point;
    using WallTime = std::chrono::system_clock::time_point;

    Simulator(const Source &source, bool jsonl);
    // The source is a battery, discharged by what the load draws as time goes on.
    void useBattery(const BatteryParams &params, SteadyTime now);
    // The source is a bench supply; a latched one trips and comes back as time goes on.
    void useSupply(const SupplyParams &params, SteadyTime now);
    void useSolarCell(const SolarCellParams &params);

    std::vector<std::string> opened(WallTime wall);
    // `line` is how the panel set the line up when these bytes were read; only the first bytes
    // of each connection are checked against it.
    std::vector<std::string> received(std::string_view bytes, const LineSettings &line,
                                      SteadyTime now, WallTime wall);
    // Nothing arrived up to `now`.
    std::vector<std::string> idle(SteadyTime now, WallTime wall);
    std::vector<std::string> closed(WallTime wall);
    // The simulator is ending (`why` says on what); a piece of a frame still waiting is reported.
    std::vector<std::string> stopped(WallTime wall, const std::string &why);

    // When idle() should next be called; empty when nothing is waiting.
    std::optional<SteadyTime> deadline() const { return m_decoder.deadline(); }

    const LoadState &load() const { return m_load; }
    // The voltage at the load's terminals now, as a meter across them reads it.
    double terminalVolts(SteadyTime now);

private:
    std::string report(const Frame &frame, WallTime wall);
    // The battery's charge drawn, or the supply's latch, up to now with the load as it has been
    // since the last time.
    void advance(SteadyTime now);
    // Where the load settles on whichever source it has now.
    OperatingPoint point() const;

    Source m_source;
    std::optional<Battery> m_battery;
    std::optional<Supply> m_supply;
    std::optional<SolarCell> m_solarCell;
    SteadyTime m_advancedTo{};
    Report m_report;
    FrameDecoder m_decoder;
    LoadState m_load;
    bool m_lineChecked = false;
};

} // namespace rz417::sim
