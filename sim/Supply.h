#pragma once

#include "LoadState.h"
#include "SourceModel.h"

#include <chrono>
#include <string>

namespace rz417::sim {

// What a bench supply does when the load asks for more than its current limit.
enum class Overload {
    Hold,  // constant current: the limit flows, the voltage falls to what the load leaves
    Latch, // over-current protection: the output goes to 0 V and stays there
};

struct SupplyParams
{
    double volts = 0.0;
    double amps = 0.0;
    Overload overload = Overload::Hold;
};

// "VOLTS,AMPS[,cc|latch]": volts and amps above 0.
bool parseSupply(const std::string &text, SupplyParams &params);

// A bench power supply as the load's source: VOLTS behind a few milliohms of output resistance up
// to its current limit AMPS. A latched supply comes back once the load has asked for nothing for
// a second.
class Supply
{
public:
    using Duration = std::chrono::nanoseconds;

    // A good supply's output resistance: a few tens of millivolts at a few amps.
    static constexpr double kOhms = 0.01;
    static constexpr Duration kLatchQuiet = std::chrono::seconds(1);

    explicit Supply(const SupplyParams &params) : m_params(params) {}

    // Where the load settles on the supply as the last advance() left it.
    OperatingPoint settle(const LoadState &load, const Ratings &ratings = {}) const;
    // The load is as it is now and has been for `elapsed`, which may be none: a latched supply
    // trips the moment the load asks for more than its limit.
    void advance(const LoadState &load, Duration elapsed, const Ratings &ratings = {});
    bool tripped() const { return m_tripped; }

private:
    // The current the load would draw from the supply's voltage were there no limit.
    double askedAmps(const LoadState &load, const Ratings &ratings) const;

    SupplyParams m_params;
    bool m_tripped = false;
    Duration m_quiet{}; // how long a tripped supply's load has asked for nothing
};

} // namespace rz417::sim
