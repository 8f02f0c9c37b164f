#include "Supply.h"

#include "Options.h"

#include <algorithm>

namespace rz417::sim {
namespace {

// Constant voltage up to the current limit, constant current below the voltage that leaves.
class SupplyOutput : public SourceCurve
{
public:
    SupplyOutput(double volts, double amps) : m_volts(volts), m_amps(amps) {}
    double openVolts() const override { return m_volts; }
    double amps(double volts) const override
    {
        return std::min(m_amps, (m_volts - volts) / Supply::kOhms);
    }

private:
    double m_volts;
    double m_amps;
};

} // namespace

bool parseSupply(const std::string &text, SupplyParams &params)
{
    const std::vector<std::string> parts = commaParts(text);
    SupplyParams parsed;
    if (parts.size() < 2 || parts.size() > 3 || !parseNumber(parts[0], parsed.volts) ||
        !parseNumber(parts[1], parsed.amps) || parsed.volts <= 0.0 || parsed.amps <= 0.0)
        return false;
    if (parts.size() == 3) {
        if (parts[2] == "latch")
            parsed.overload = Overload::Latch;
        else if (parts[2] != "cc")
            return false;
    }
    params = parsed;
    return true;
}

OperatingPoint Supply::settle(const LoadState &load, const Ratings &ratings) const
{
    if (m_tripped)
        return sim::settle(SupplyOutput(0.0, 0.0), load, ratings);
    return sim::settle(SupplyOutput(m_params.volts, m_params.amps), load, ratings);
}

void Supply::advance(const LoadState &load, Duration elapsed, const Ratings &ratings)
{
    if (m_params.overload != Overload::Latch)
        return;
    const double asked = askedAmps(load, ratings);
    if (asked > m_params.amps) {
        m_tripped = true;
        m_quiet = Duration::zero();
    } else if (m_tripped) {
        // Back only after a whole second in which the load asked for nothing; any demand starts
        // the second again.
        m_quiet = asked > 0.0 ? Duration::zero() : m_quiet + elapsed;
        if (m_quiet >= kLatchQuiet) {
            m_tripped = false;
            m_quiet = Duration::zero();
        }
    }
}

double Supply::askedAmps(const LoadState &load, const Ratings &ratings) const
{
    return sim::settle(Source{m_params.volts, kOhms}, load, ratings).amps;
}

} // namespace rz417::sim
