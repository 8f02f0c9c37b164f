#include "battery/BatterySetup.h"

#include "protocol/Modes.h"

#include <gtest/gtest.h>

namespace rz417::battery {
namespace {

// The window's fields in their order on the screen, as it gives them.
struct SetupTexts
{
    std::string mode, value, cutoff, capacity, energy, time, meter, query, interval;
};

std::optional<Setup> readSetup(const SetupTexts &t, std::string &why)
{
    const measure::Texts texts{{"mode", t.mode},         {"value", t.value},
                               {"cutoff", t.cutoff},     {"capacity", t.capacity},
                               {"energy", t.energy},     {"time", t.time},
                               {"meter", t.meter},       {"query", t.query},
                               {"interval", t.interval}, {"log", ""}};
    return battery::readSetup(texts, measure::Naming::Label, why);
}

// The battery window's fields to a test, or to what the window says; each row changes the good
// fields below in one place.
TEST(BatterySetup, FieldsToTestOrWhy)
{
    const SetupTexts good{"CC", "2.5", "3.0", "", "", "", "10.0.0.7:5025", "MEAS:VOLT:DC?", "1"};
    const struct
    {
        const char *name;
        SetupTexts texts;
        const char *why; // "" for a test
    } rows[] = {
        {"good", good, ""},
        {"CP 10W without a meter, to an energy",
         {"CP", "10W", "", "", "10Wh", "", "", "MEAS:VOLT:DC?", "0.5"},
         ""},
        {"no value",
         {"CC", "", "3.0", "", "", "", "10.0.0.7:5025", "MEAS:VOLT:DC?", "1"},
         "Value: "},
        {"a value out of range",
         {"CC", "99", "3.0", "", "", "", "10.0.0.7:5025", "MEAS:VOLT:DC?", "1"},
         "Value: "},
        {"a cut-off in amperes",
         {"CC", "2.5", "3A", "", "", "", "10.0.0.7:5025", "MEAS:VOLT:DC?", "1"},
         "Cut-off: '3A' is not"},
        {"a time in days",
         {"CC", "2.5", "3.0", "", "", "2d", "10.0.0.7:5025", "MEAS:VOLT:DC?", "1"},
         "Time: '2d' is not"},
        {"an interval too short",
         {"CC", "2.5", "3.0", "", "", "", "10.0.0.7:5025", "MEAS:VOLT:DC?", "0.1"},
         "Interval takes seconds from 0.2 on, such as 1, 0.5 or 10s, not '0.1'"},
        {"a meter with no port",
         {"CC", "2.5", "3.0", "", "", "", "10.0.0.7", "MEAS:VOLT:DC?", "1"},
         "Meter: '10.0.0.7' is no meter address"},
        {"no query",
         {"CC", "2.5", "3.0", "", "", "", "10.0.0.7:5025", "", "1"},
         "Query takes one SCPI query"},
        {"no stop",
         {"CC", "2.5", "", "", "", "", "10.0.0.7:5025", "MEAS:VOLT:DC?", "1"},
         "a battery test needs a stop: a cut-off, a capacity, an energy or a time"},
        {"a cut-off without a meter",
         {"CC", "2.5", "3.0", "", "", "", "", "MEAS:VOLT:DC?", "1"},
         "the cut-off needs a meter to read the voltage: give the meter's address"},
        {"CR without a meter",
         {"CR", "4.7", "", "", "", "60", "", "MEAS:VOLT:DC?", "1"},
         "CR needs a meter"},
        {"CV",
         {"CV", "5", "", "", "", "60", "", "MEAS:VOLT:DC?", "1"},
         "a battery test does not run in CV"},
    };
    for (const auto &row : rows) {
        std::string why;
        const auto setup = readSetup(row.texts, why);
        EXPECT_EQ(setup.has_value(), *row.why == 0) << row.name << ": " << why;
        EXPECT_EQ(why.rfind(row.why, 0), 0u) << row.name << ": " << why;
    }
    std::string why;
    const auto setup = readSetup(good, why);
    ASSERT_TRUE(setup);
    EXPECT_EQ(setup->plan.mode, ModeCodes::CC);
    EXPECT_EQ(setup->plan.value, 2500);
    EXPECT_EQ(setup->stops.cutoffMillivolts, 3000);
    EXPECT_EQ(setup->meter->host, "10.0.0.7");
    EXPECT_EQ(setup->meter->port, 5025);
}

// The summary that scripts read: one JSON object, its figures as the summary's.
TEST(BatterySetup, SummaryAsJson)
{
    DischargeRun run({ModeCodes::CC, 1000, std::chrono::milliseconds(1000), kDefaultMeterQuery},
                     Stops{{}, {}, {}, 2000}, true);
    for (const auto &[answer, at] : {std::pair{"4.0", 0}, {"3.9", 1}, {"3.8", 2}})
        run.reading(std::string(answer), {}, std::chrono::seconds(at));
    EXPECT_EQ(summaryJson(run, {}, true, "ACME,DMM"),
              R"({"test":"battery","stopped_by":"time","why":"","duration_s":2.000,)"
              R"("capacity_Ah":0.000556,"energy_Wh":0.002167,"mean_V":3.9000,"end_V":3.8000,)"
              R"("meter_idn":"ACME,DMM","measured":true,"readings":3,"skipped":0,"bounded":0,)"
              R"("input_off":true})");
    const std::string failed =
        summaryJson(run, {DischargeEnd::MeterFailed, "it answered '\"\\\n'"}, false, {});
    EXPECT_NE(failed.find(R"("stopped_by":"meter","why":"it answered '\"\\\u000A'")"),
              std::string::npos)
        << failed;
    EXPECT_NE(failed.find(R"("meter_idn":null)"), std::string::npos) << failed;
    EXPECT_NE(failed.find(R"("input_off":false})"), std::string::npos) << failed;
}

} // namespace
} // namespace rz417::battery
