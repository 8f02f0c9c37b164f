#include "Simulator.h"

namespace rz417::sim {

Simulator::Simulator(const Source &source, bool jsonl) : m_source(source), m_report(jsonl) {}

std::vector<std::string> Simulator::opened(WallTime wall)
{
    m_lineChecked = false;
    return {m_report.notice(wall, "opened", "panel opened the line")};
}

std::vector<std::string> Simulator::received(std::string_view bytes, const LineSettings &line,
                                             SteadyTime now, WallTime wall)
{
    advance(now);
    std::vector<std::string> lines;
    if (!bytes.empty() && !m_lineChecked) {
        m_lineChecked = true;
        if (const auto problem = lineProblem(line))
            lines.push_back(m_report.notice(wall, "line_settings", *problem));
    }
    for (const Frame &frame : m_decoder.feed(bytes, now))
        lines.push_back(report(frame, wall));
    return lines;
}

std::vector<std::string> Simulator::idle(SteadyTime now, WallTime wall)
{
    advance(now);
    std::vector<std::string> lines;
    if (const auto frame = m_decoder.expire(now))
        lines.push_back(report(*frame, wall));
    return lines;
}

std::vector<std::string> Simulator::closed(WallTime wall)
{
    std::vector<std::string> lines;
    // What was left of a frame when the line closed will never be completed.
    if (const auto frame = m_decoder.flush())
        lines.push_back(report(*frame, wall));
    lines.push_back(
        m_report.notice(wall, "closed", "panel closed the line; waiting for the next connection"));
    m_lineChecked = false;
    return lines;
}

std::vector<std::string> Simulator::stopped(WallTime wall, const std::string &why)
{
    std::vector<std::string> lines;
    if (const auto frame = m_decoder.flush())
        lines.push_back(report(*frame, wall));
    lines.push_back(m_report.notice(wall, "stopped", "simulator stopped on " + why));
    return lines;
}

std::string Simulator::report(const Frame &frame, WallTime wall)
{
    m_load.apply(frame);
    // A demand beyond a latched supply's limit trips it as it arrives, however soon the next
    // frame takes it back.
    if (m_supply)
        m_supply->advance(m_load, Supply::Duration::zero());
    return m_report.frame(wall, frame, m_load, point());
}

void Simulator::useBattery(const BatteryParams &params, SteadyTime now)
{
    m_battery.emplace(params);
    m_advancedTo = now;
}

void Simulator::useSupply(const SupplyParams &params, SteadyTime now)
{
    m_supply.emplace(params);
    m_advancedTo = now;
}

void Simulator::useSolarCell(const SolarCellParams &params)
{
    m_solarCell.emplace(params);
}

void Simulator::advance(SteadyTime now)
{
    if ((!m_battery && !m_supply) || now <= m_advancedTo)
        return;
    if (m_battery)
        m_battery->draw(point().amps, std::chrono::duration<double>(now - m_advancedTo).count());
    if (m_supply)
        m_supply->advance(m_load, std::chrono::duration_cast<Supply::Duration>(now - m_advancedTo));
    m_advancedTo = now;
}

OperatingPoint Simulator::point() const
{
    if (m_supply)
        return m_supply->settle(m_load);
    if (m_solarCell)
        return settle(*m_solarCell, m_load);
    return settle(m_battery ? m_battery->source() : m_source, m_load);
}

double Simulator::terminalVolts(SteadyTime now)
{
    advance(now);
    return point().volts;
}

} // namespace rz417::sim
