#include "cli/CommandLine.h"

#include "battery/BatterySetup.h"

#include "protocol/Modes.h"

#include <gtest/gtest.h>

#include <sstream>

namespace rz417::cli {
namespace {

std::vector<std::string> words(const std::string &line)
{
    std::istringstream in(line);
    std::vector<std::string> out;
    for (std::string word; in >> word;)
        out.push_back(word);
    return out;
}

TEST(MeasuredCommandLine, LinesToPlansOrWhatIsWrong)
{
    const struct
    {
        const char *line;
        const char *error; // empty: parsed
    } rows[] = {
        {"battery cc 2.5 --cutoff 3.0 --meter 192.168.1.20:5025", ""},
        {"battery cc 2.5 --capacity 2500mAh", ""},
        {"battery cp 10W --energy 10Wh --interval 0.5 --log run.csv", ""},
        {"battery cr 4.7 --cutoff 3V --meter serial:/dev/ttyUSB0@19200 --meter-query MEAS?", ""},
        {"battery cc 2.5 --time 45min", ""},
        {"battery cc 2.5 --time=45min --interval=0.5 --log=x.csv", ""},
        {"battery cv 5 --time 10", "does not run in CV"},
        {"battery cc 2.5", "needs a stop"},
        {"battery cc 2.5 --cutoff 3.0", "--cutoff needs a meter"},
        {"battery cr 4.7 --time 10", "cr needs a meter"},
        {"battery cc 2.5 --energy 10", "--energy in cc needs a meter"},
        {"battery cp 10 --capacity 2", "--capacity in cp needs a meter"},
        {"battery cc 99 --time 10", "'99'"},
        {"battery xx 1 --time 10", "'xx' is not a mode"},
        {"battery cc --time 10", "battery needs a mode and its value"},
        {"battery cc 1 on --time 10", "no other command"},
        {"cc 1 --time 10", "--time goes with battery"},
        {"battery cc 1 --time 10 --time 20", "--time is given twice"},
        {"battery cc 1 --time 1d", "--time: '1d' is not a duration"},
        {"battery cc 1 --time 10 --interval 0.1", "--interval takes seconds from 0.2 on"},
        {"battery cc 1 --time 10 --meter 1.2.3.4", "--meter: '1.2.3.4' is no meter address: give"},
        {"battery cc 1 --time 10 --cutoff=", "--cutoff needs volts"},
        {"battery cc 1 --time 10 --meter-query MEAS?", "--meter-query goes with --meter"},
        {"--dry-run battery cc 1 --time 10", "--dry-run does not go with battery"},
        {"battery cc 1 --time 10 --listen 0", "--listen goes with serve"},
        {"battery cc 1 --time 10 --frob x", "unknown option '--frob'"},
        {"ocp --from 1 --to 3 --step 0.1 --trip 10 --meter m:5025 --refine --recover 1", ""},
        {"opp --from 10 --to 40 --step 0.5 --trip 10 --meter m:5025", ""},
        {"sweep cr 100 1 5 --meter m:5025 --stop-below 0.5 --dwell 1", ""},
        {"dcir --low 0.2 --high 1.5 --meter m:5025 --repeat 3 --rest 5", ""},
        {"ocp --from 3 --to 1 --step 0.1 --trip 10 --meter m:5025",
         "--from (3.000 A) is above --to"},
        {"ocp --from 1 --to 3 --step 0 --trip 10 --meter m:5025", "--step takes a step above 0"},
        {"ocp --from 1 --to 1.5 --step 1 --trip 10 --meter m:5025", "not above the span"},
        {"ocp --from 1 --to 16 --step 1 --trip 10 --meter m:5025", "--to: '16'"},
        {"opp --from 1 --to 300 --step 1 --trip 10 --meter m:5025", "--to: '300'"},
        {"ocp --from 1 --to 3 --step 0.1 --meter m:5025", "--trip is needed"},
        {"ocp --from 1 --to 3 --step 0.1 --trip 10", "--meter is needed"},
        {"ocp --from 1 --to 3 --step 0.1 --trip 10 --meter m:5025 --recover 1",
         "--recover goes with --refine"},
        {"ocp --from 1 --to 3 --step 0.1 --trip 10 --meter m:5025 --dwell 0.1",
         "--dwell takes seconds from 0.2"},
        {"ocp 1 --from 1", "ocp takes its options and no other command"},
        {"sweep cv 0 5 1 --meter m:5025", "'cv' is not a mode to sweep"},
        {"sweep cc 0 5 --meter m:5025", "sweep needs a mode, FROM, TO and STEP"},
        {"sweep cc 0 5 0 --meter m:5025", "STEP takes a step above 0"},
        {"sweep cc 0 5 1", "--meter is needed"},
        {"dcir --low 1 --high 1 --meter m:5025", "--high (1.000 A) is not above --low"},
        {"dcir --low 1 --high 1.005 --meter m:5025", "not above --low"},
        {"dcir --low 0.2 --high 1 --meter m:5025 --repeat 0", "--repeat takes a whole number"},
        {"dcir --low 0.2 --high 1 --meter m:5025 --cutoff 3", "--cutoff goes with battery"},
        {"run x.csv --low 0.2", "--low goes with dcir"},
        {"sweep cc 0 5 1 --meter m:5025 --trip 3", "it goes with ocp, opp"},
    };
    for (const auto &row : rows) {
        const ParsedCommandLine parsed = parseCommandLine(words(row.line));
        if (*row.error == '\0') {
            EXPECT_EQ(parsed.error, "") << row.line;
            EXPECT_EQ(parsed.invocation.action, Action::Measure) << row.line;
        } else {
            EXPECT_NE(parsed.error.find(row.error), std::string::npos)
                << row.line << ": " << parsed.error;
        }
    }
}

TEST(MeasuredCommandLine, WhatAPlanHolds)
{
    const Invocation inv =
        parseCommandLine(words("-p 3 battery CP 10W --cutoff 3000mV --capacity 2.5Ah --energy 9 "
                               "--time 1.5h --interval 2 --meter dmm:5025 --log x.csv"))
            .invocation;
    std::string why;
    const battery::Setup setup = *battery::readSetup(inv.texts, measure::Naming::Option, why);
    const battery::DischargePlan &plan = setup.plan;
    EXPECT_EQ(plan.mode, ModeCodes::CP);
    EXPECT_EQ(plan.value, 100);
    EXPECT_EQ(setup.stops.cutoffMillivolts, 3000);
    EXPECT_EQ(setup.stops.capacityMicroAh, 2500000);
    EXPECT_EQ(setup.stops.energyMilliWh, 9000);
    EXPECT_EQ(setup.stops.timeMs, 5400000);
    EXPECT_EQ(plan.interval, std::chrono::milliseconds(2000));
    ASSERT_TRUE(setup.meter);
    EXPECT_EQ(setup.meter->host, "dmm");
    EXPECT_EQ(plan.query, "MEAS:VOLT:DC?");
    EXPECT_EQ(setup.log, "x.csv");
    EXPECT_EQ(inv.port, "3");
}

} // namespace
} // namespace rz417::cli
