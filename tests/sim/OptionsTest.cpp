#include "Options.h"

#include "CaseName.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace rz417::sim {
namespace {

struct OptionsCase
{
    const char *name;
    std::vector<std::string> args;
    bool ok;
    std::string link;
    bool jsonl;
    double volts;
    double ohms;
};

class OptionsTest : public ::testing::TestWithParam<OptionsCase>
{
};

TEST_P(OptionsTest, Parses)
{
    const OptionsCase &c = GetParam();
    Options options;
    std::string error;
    ASSERT_EQ(parseOptions(c.args, options, error), c.ok) << error;
    if (!c.ok) {
        EXPECT_FALSE(error.empty());
        return;
    }
    EXPECT_EQ(options.link, c.link);
    EXPECT_EQ(options.jsonl, c.jsonl);
    EXPECT_DOUBLE_EQ(options.source.volts, c.volts);
    EXPECT_DOUBLE_EQ(options.source.ohms, c.ohms);
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, OptionsTest,
    ::testing::Values(
        OptionsCase{"Defaults", {}, true, "", false, 24.0, 0.5},
        OptionsCase{"Everything",
                    {"--link", "/tmp/x/port", "--jsonl", "--source", "12.5,0.25"},
                    true,
                    "/tmp/x/port",
                    true,
                    12.5,
                    0.25},
        OptionsCase{"EqualsForm", {"--link=port", "--source=48,0"}, true, "port", false, 48.0, 0.0},
        OptionsCase{"LinkWithoutPath", {"--link"}, false, "", false, 0, 0},
        OptionsCase{"EmptyLink", {"--link="}, false, "", false, 0, 0},
        OptionsCase{"SourceWithoutComma", {"--source", "24"}, false, "", false, 0, 0},
        OptionsCase{"SourceNotNumbers", {"--source", "24V,0.5"}, false, "", false, 0, 0},
        OptionsCase{"SourceWithoutVolts", {"--source", "0,0.5"}, false, "", false, 0, 0},
        OptionsCase{"NegativeResistance", {"--source", "24,-1"}, false, "", false, 0, 0},
        OptionsCase{"InfiniteVolts", {"--source", "inf,1"}, false, "", false, 0, 0},
        OptionsCase{"JsonlTakesNoValue", {"--jsonl=yes"}, false, "", false, 0, 0},
        OptionsCase{"Unknown", {"--baud", "9600"}, false, "", false, 0, 0}),
    CaseName());

// The sources other than --source: what each takes, what a refusal says, and that the load has
// only one of them.
TEST(OptionsTest, OneSourceOfAnyKind)
{
    const struct
    {
        const char *first;
        const char *second; // nullptr: none
        const char *error;  // nullptr: taken
    } rows[] = {
        {"--supply=12,2.5,latch", nullptr, nullptr},
        {"--pv=21.6,3", nullptr, nullptr},
        {"--supply=12", nullptr,
         "--supply wants VOLTS,AMPS[,cc|latch] with volts and amps above 0, not '12'"},
        {"--supply=12,2.5,trip", nullptr, "not '12,2.5,trip'"},
        {"--pv=21.6", nullptr, "--pv wants VOC,ISC with both above 0, not '21.6'"},
        {"--pv=21.6,0", nullptr, "not '21.6,0'"},
        {"--supply=12,2.5", "--pv=21.6,3", "--supply and --pv exclude each other"},
        {"--battery=2", "--source=12,0.1", "--battery and --source exclude each other"},
        {"--pv=21.6,3", "--battery=2", "give one source, --source, --battery, --supply or --pv"},
    };
    for (const auto &row : rows) {
        std::vector<std::string> args{row.first};
        if (row.second != nullptr)
            args.emplace_back(row.second);
        Options options;
        std::string error;
        EXPECT_EQ(parseOptions(args, options, error), row.error == nullptr) << row.first;
        if (row.error != nullptr)
            EXPECT_NE(error.find(row.error), std::string::npos) << error;
        else
            EXPECT_TRUE(options.supply || options.pv) << row.first;
    }
}

} // namespace
} // namespace rz417::sim
