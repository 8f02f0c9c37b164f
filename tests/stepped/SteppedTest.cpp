#include "stepped/Dcir.h"
#include "stepped/Sweep.h"
#include "stepped/Trip.h"

#include "protocol/Modes.h"
#include "support/RunFakes.h"

#include <gtest/gtest.h>

#include <sstream>

namespace rz417::stepped {
namespace {

using namespace std::chrono_literals;

// What went out, by meaning, and each reading's due time from the start.
struct Outcome
{
    measure::RunResult result;
    std::vector<std::string> frames;
    std::vector<long long> dues; // ms
    std::string json;
};

struct Frames : measure::FrameOut, measure::ReadingSink
{
    bool send(const std::string &, const std::string &meaning) override
    {
        frames.push_back(meaning);
        return true;
    }
    bool reading(const measure::MeasuredRun &, std::string &) override { return true; }
    std::vector<std::string> frames;
};

std::vector<std::string> split(const std::string &text)
{
    std::vector<std::string> words;
    std::istringstream in(text);
    for (std::string word; std::getline(in, word, '|');)
        words.push_back(word);
    return words;
}

Outcome drive(measure::MeasuredRun &run, const char *answers, std::chrono::milliseconds delay = 0ms)
{
    fakes::FakeTime time;
    fakes::ScriptedMeter meter;
    meter.time = &time;
    meter.delay = delay;
    std::istringstream in(answers);
    for (std::string answer; in >> answer;)
        meter.answers.push_back(answer);
    Frames out;
    Outcome outcome;
    outcome.result = measure::runMeasured(run, &meter, out, time, time, out);
    // Every test switches the input off before its first reading.
    EXPECT_EQ(out.frames.front(), "input off");
    outcome.frames.assign(out.frames.begin() + 1, out.frames.end());
    for (const auto due : time.sleeps)
        outcome.dues.push_back(due.count());
    outcome.json = run.summaryJson(outcome.result, true, std::string("DMM"));
    return outcome;
}

void expectJson(const std::string &json, const char *fields, const char *name)
{
    for (const std::string &field : split(fields))
        EXPECT_NE(json.find(field), std::string::npos) << name << ": " << field << " in " << json;
}

measure::Texts texts(std::initializer_list<std::pair<const char *, const char *>> pairs)
{
    measure::Texts t{{"meter", "dmm:5025"}};
    for (const auto &[key, value] : pairs)
        t[key] = value;
    return t;
}

TEST(TripRun, RampsTripsAndBisects)
{
    const struct
    {
        const char *name;
        const char *from, *to, *step, *refine;
        const char *answers; // volts: the no-load reading first
        const char *frames;
        const char *json;
        const char *dues = nullptr;
    } rows[] = {
        {"a confirmed trip", "1", "1.3", "0.1", "no", "12 11.9 11.8 3 2.9",
         "CC 1.000 A|input on|CC 1.10 A|CC 1.20 A|input off",
         "\"stopped_by\":\"trip\"|\"trip_A\":1.200|\"last_good_A\":1.100|\"last_good_V\":11.8000|"
         "\"no_load_V\":12.0000|\"latched\":null|\"max_power_W\":12.980",
         "0|500|1000|1500|1500"},
        {"a dip that the second reading does not confirm", "1", "1.3", "0.1", "no",
         "12 11.9 11.8 3 11.7 11.6", "CC 1.000 A|input on|CC 1.10 A|CC 1.20 A|CC 1.30 A",
         "\"stopped_by\":\"end\"|\"trip_A\":null|\"last_good_A\":1.300|\"last_good_V\":11.6000"},
        {"the last step is the span's end", "1", "1.25", "0.1", "no", "12 11.9 11.8 11.7 11.6",
         "CC 1.000 A|input on|CC 1.10 A|CC 1.20 A|CC 1.25 A", "\"stopped_by\":\"end\""},
        {"a bisection down to 0.01 A", "2.4", "2.6", "0.1", "yes",
         "12 11.9 11.9 0 0 12 0 0 12 11.9 12 0 0 12",
         "CC 2.40 A|input on|CC 2.50 A|CC 2.60 A|input off|CC 2.55 A|input on|input off|"
         "CC 2.52 A|input on|input off|CC 2.53 A|input on|input off",
         "\"stopped_by\":\"trip\"|\"trip_A\":2.530|\"last_good_A\":2.520|\"latched\":false",
         "0|500|1000|1500|1500|3500|4000|4000|6000|6500|8500|9000|9000|11000"},
        {"below 1 A, a bisection down to 0.001 A", "0.9", "1", "0.1", "yes",
         "12 11.9 0 0 12 11.9 12 11.9 12 0 0 12 0 0 12 0 0 12 0 0 12 0 0 12",
         "CC 0.900 A|input on|CC 1.000 A|input off|CC 0.950 A|input on|input off|CC 0.975 A|"
         "input on|input off|CC 0.987 A|input on|input off|CC 0.981 A|input on|input off|"
         "CC 0.978 A|input on|input off|CC 0.976 A|input on|input off",
         "\"trip_A\":0.976|\"last_good_A\":0.975"},
        {"a supply that stays down is latched", "2.4", "2.6", "0.1", "yes", "12 11.9 0 0 0.2",
         "CC 2.40 A|input on|CC 2.50 A|input off",
         "\"stopped_by\":\"latched\"|\"latched\":true|\"trip_A\":2.500|\"last_good_A\":2.400"},
        {"a trip at the first step leaves no good setpoint", "2.6", "3", "0.1", "no", "12 0 0",
         "CC 2.60 A|input on|input off",
         "\"trip_A\":2.600|\"last_good_A\":null|\"max_power_W\":null"},
        {"a trip voltage above the no-load voltage", "1", "2", "0.1", "no", "9.5", "",
         "\"stopped_by\":\"refused\"|\"why\":\"the trip voltage 10.000 V is not below the "
         "supply's no-load voltage 9.500 V\"|\"trip_A\":null"},
        {"a meter that stops answering", "1", "2", "0.1", "no", "12 11.9 !",
         "CC 1.000 A|input on|CC 1.10 A", "\"stopped_by\":\"meter\"|\"why\":\"no answer"},
    };
    for (const auto &row : rows) {
        std::string why;
        const auto setup = readTripSetup(ModeCodes::CC,
                                         texts({{"from", row.from},
                                                {"to", row.to},
                                                {"step", row.step},
                                                {"trip", "10"},
                                                {"refine", row.refine}}),
                                         measure::Naming::Option, why);
        ASSERT_TRUE(setup) << row.name << ": " << why;
        TripRun run(*setup);
        const Outcome outcome = drive(run, row.answers);
        EXPECT_EQ(outcome.frames, split(row.frames)) << row.name;
        expectJson(outcome.json, row.json, row.name);
        if (row.dues) {
            std::vector<long long> dues;
            for (const std::string &due : split(row.dues))
                dues.push_back(std::stoll(due));
            EXPECT_EQ(outcome.dues, dues) << row.name;
        }
    }
}

TEST(TripRun, OverPowerStepsInTenthsOfAWatt)
{
    std::string why;
    const auto setup = readTripSetup(
        ModeCodes::CP,
        texts({{"from", "29"}, {"to", "31"}, {"step", "1"}, {"trip", "6"}, {"refine", "yes"}}),
        measure::Naming::Option, why);
    ASSERT_TRUE(setup) << why;
    TripRun run(*setup);
    const Outcome outcome = drive(run, "12 11.9 11.9 0 0 12 0 0 12 0 0 12 0 0 12 11.9 12");
    expectJson(outcome.json, "\"test\":\"opp\"|\"trip_W\":30.1|\"last_good_W\":30.0", "opp");
    EXPECT_EQ(outcome.frames.back(), "input off");
}

TEST(SweepRun, PointsMaximumPowerAndShortCircuit)
{
    const struct
    {
        const char *name;
        const char *mode, *from, *to, *step, *stopBelow;
        const char *answers;
        const char *frames;
        const char *json;
    } rows[] = {
        {"up, the last point at TO", "cc", "0", "1", "0.4", "", "20 19 18 17 16",
         "CC 0.000 A|input on|CC 0.400 A|CC 0.800 A|CC 1.000 A",
         "\"points\":4|\"open_circuit_V\":20.0000|\"mpp_V\":16.0000|\"mpp_A\":1.0000|"
         "\"mpp_W\":16.0000|\"short_circuit_A\":null|\"fill_factor\":null|\"stopped_by\":\"end\""},
        {"down", "cc", "1", "0", "0.5", "", "20 16 18 20",
         "CC 1.000 A|input on|CC 0.500 A|CC 0.000 A", "\"points\":3|\"mpp_W\":16.0000"},
        {"to the collapse", "cc", "0", "3", "1", "1", "20 19 18 0.5",
         "CC 0.000 A|input on|CC 1.000 A|CC 2.00 A",
         "\"stopped_by\":\"stop-below\"|\"points\":3|\"mpp_W\":18.0000|"
         "\"short_circuit_A\":1.9714|\"fill_factor\":0.4565"},
        {"in CR, the current from V/R", "cr", "10", "5", "5", "", "20 18 15",
         "CR 10.0 ohm|input on|CR 5.0 ohm",
         "\"mode\":\"cr\"|\"mpp_V\":15.0000|\"mpp_A\":3.0000|\"mpp_W\":45.0000"},
    };
    for (const auto &row : rows) {
        std::string why;
        measure::Texts given =
            texts({{"mode", row.mode}, {"from", row.from}, {"to", row.to}, {"step", row.step}});
        if (*row.stopBelow)
            given["stop_below"] = row.stopBelow;
        const auto setup = readSweepSetup(given, measure::Naming::Option, why);
        ASSERT_TRUE(setup) << row.name << ": " << why;
        SweepRun run(*setup);
        const Outcome outcome = drive(run, row.answers);
        EXPECT_EQ(outcome.result.end, measure::RunEnd::Stopped) << row.name;
        EXPECT_EQ(outcome.frames, split(row.frames)) << row.name;
        expectJson(outcome.json, row.json, row.name);
    }
}

TEST(DcirRun, PhasesOnTheirScheduleWhateverTheMeterTakes)
{
    std::string why;
    const auto setup = readDcirSetup(texts({{"low", "0.5"}, {"high", "1.5"}, {"repeat", "2"}}),
                                     measure::Naming::Option, why);
    ASSERT_TRUE(setup) << why;
    for (const auto delay : {0ms, 150ms}) {
        DcirRun run(*setup);
        const Outcome outcome = drive(run, "4.2 4.15 4.05 4.19 4.14 4.02", delay);
        EXPECT_EQ(outcome.frames, split("CC 0.500 A|input on|CC 1.50 A|input off|CC 0.500 A|"
                                        "input on|CC 1.50 A|input off"));
        // From the first frame, which follows the open-circuit reading's answer.
        const long long o = delay.count();
        EXPECT_EQ(outcome.dues, (std::vector<long long>{0, o + 10000, o + 11000, o + 41000,
                                                        o + 51000, o + 52000}));
        expectJson(outcome.json,
                   "\"open_circuit_V\":4.2000|\"low_A\":0.500|\"high_A\":1.500|"
                   "\"resistance_ohm\":0.110000|\"runs\":[{\"v_low\":4.1500,\"v_high\":4.0500,"
                   "\"resistance_ohm\":0.100000},{\"v_low\":4.1400,\"v_high\":4.0200,"
                   "\"resistance_ohm\":0.120000}]",
                   "dcir");
    }
}

TEST(SteppedLog, RowsFromTheFirstInputOn)
{
    std::string why;
    const auto setup =
        readDcirSetup(texts({{"low", "0.5"}, {"high", "1.5"}}), measure::Naming::Option, why);
    ASSERT_TRUE(setup) << why;
    DcirRun run(*setup);
    fakes::FakeTime time;
    fakes::ScriptedMeter meter;
    meter.time = &time;
    meter.delay = 20ms;
    meter.answers = {"4.2", "4.15", "4.05"};
    struct Rows : Frames
    {
        bool reading(const measure::MeasuredRun &r, std::string &) override
        {
            rows.push_back(r.logRow());
            return true;
        }
        std::vector<std::string> rows;
    } out;
    measure::runMeasured(run, &meter, out, time, time, out);
    out.rows.push_back(run.logRow()); // the one that ended it, which the driver logs
    // The open-circuit reading is timed from its query, the others from their answers.
    EXPECT_EQ(run.logHeader(), "time_s,step,setpoint,voltage_V,current_A,power_W");
    EXPECT_EQ(out.rows, (std::vector<std::string>{"-0.020,0,,4.2000,0.0000,0.000",
                                                  "10.020,1,0.500,4.1500,0.5000,2.075",
                                                  "11.020,2,1.500,4.0500,1.5000,6.075"}));
}

} // namespace
} // namespace rz417::stepped
