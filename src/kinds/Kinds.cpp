#include "kinds/Kinds.h"

#include "battery/BatterySetup.h"
#include "protocol/Modes.h"
#include "stepped/Dcir.h"
#include "stepped/Sweep.h"
#include "stepped/Trip.h"

namespace rz417::kinds {

namespace {

// A setup as a test, its run made by Run(setup) or Run(setup, metered).
template <class Setup, class Run> class TestOf : public Test
{
public:
    explicit TestOf(Setup setup) : m_setup(std::move(setup)) {}
    const std::optional<battery::MeterAddress> &meter() const override { return m_setup.meter; }
    const std::string &log() const override { return m_setup.log; }
    std::unique_ptr<measure::MeasuredRun> makeRun(bool metered) const override
    {
        if constexpr (std::is_constructible_v<Run, const Setup &>) {
            (void)metered;
            return std::make_unique<Run>(m_setup);
        } else {
            return std::make_unique<Run>(m_setup.plan, m_setup.stops, metered);
        }
    }

private:
    Setup m_setup;
};

template <class Setup, class Run> std::unique_ptr<Test> made(std::optional<Setup> setup)
{
    if (!setup)
        return nullptr;
    return std::make_unique<TestOf<Setup, Run>>(std::move(*setup));
}

std::unique_ptr<Test> readBattery(const measure::Texts &texts, measure::Naming naming,
                                  std::string &why)
{
    return made<battery::Setup, battery::DischargeRun>(battery::readSetup(texts, naming, why));
}

template <int16_t mode>
std::unique_ptr<Test> readTrip(const measure::Texts &texts, measure::Naming naming,
                               std::string &why)
{
    return made<stepped::TripSetup, stepped::TripRun>(
        stepped::readTripSetup(mode, texts, naming, why));
}

std::unique_ptr<Test> readSweep(const measure::Texts &texts, measure::Naming naming,
                                std::string &why)
{
    return made<stepped::SweepSetup, stepped::SweepRun>(
        stepped::readSweepSetup(texts, naming, why));
}

std::unique_ptr<Test> readDcir(const measure::Texts &texts, measure::Naming naming,
                               std::string &why)
{
    return made<stepped::DcirSetup, stepped::DcirRun>(stepped::readDcirSetup(texts, naming, why));
}

} // namespace

const std::vector<Kind> &kinds()
{
    static const std::vector<Kind> all{
        {"battery",
         "Battery discharge",
         "the battery test",
         "battery cc|cp|cr VALUE",
         "discharge a battery in CC, CP or CR until its first stop, read by a bench meter",
         "rz417ctl battery cc 2.5 --cutoff 3.0 --meter HOST:PORT",
         {"mode", "value"},
         "a mode and its value",
         measure::describe(battery::parameters()),
         readBattery,
         false},
        {"ocp",
         "OCP",
         "the OCP test",
         "ocp --from A --to A --step A --trip V --meter ADDRESS",
         "ramp CC until a supply's over-current protection trips",
         "rz417ctl ocp --from 1 --to 3 --step 0.1 --trip 10 --meter HOST:PORT",
         {},
         "",
         measure::describe(stepped::tripParameters(ModeCodes::CC)),
         readTrip<ModeCodes::CC>,
         true},
        {"opp",
         "OPP",
         "the OPP test",
         "opp --from W --to W --step W --trip V --meter ADDRESS",
         "ramp CP until a supply's over-power protection trips",
         "rz417ctl opp --from 10 --to 40 --step 1 --trip 10 --meter HOST:PORT",
         {},
         "",
         measure::describe(stepped::tripParameters(ModeCodes::CP)),
         readTrip<ModeCodes::CP>,
         true},
        {"sweep",
         "I-V sweep",
         "the sweep",
         "sweep cc|cp|cr FROM TO STEP --meter ADDRESS",
         "an I-V curve: a reading at each setpoint from FROM to TO",
         "rz417ctl sweep cc 0 3 0.1 --meter HOST:PORT",
         {"mode", "from", "to", "step"},
         "a mode, FROM, TO and STEP",
         measure::describe(stepped::sweepParameters()),
         readSweep,
         true},
        {"dcir",
         "Internal resistance",
         "the DCIR test",
         "dcir --low A --high A --meter ADDRESS",
         "a battery's DC internal resistance from two current steps",
         "rz417ctl dcir --low 0.2 --high 1 --meter HOST:PORT",
         {},
         "",
         measure::describe(stepped::dcirParameters()),
         readDcir,
         true},
    };
    return all;
}

const Kind *kindNamed(std::string_view name)
{
    for (const Kind &kind : kinds()) {
        if (name == kind.name)
            return &kind;
    }
    return nullptr;
}

} // namespace rz417::kinds
