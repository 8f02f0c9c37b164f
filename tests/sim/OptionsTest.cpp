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

} // namespace
} // namespace rz417::sim
