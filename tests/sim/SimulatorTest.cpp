#include "Simulator.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace rz417::sim {
namespace {

using std::chrono::milliseconds;

const LineSettings kGoodLine{115200, 8, 'N', 1};
const LineSettings kSlowLine{9600, 8, 'N', 1};

Simulator::SteadyTime at(int ms)
{
    return Simulator::SteadyTime{} + milliseconds(1000 + ms);
}

const Simulator::WallTime kWall{};

bool contains(const std::string &line, const std::string &part)
{
    return line.find(part) != std::string::npos;
}

struct TextCase
{
    const char *bytes;
    std::vector<std::string> parts;
};

class TextReportTest : public ::testing::TestWithParam<TextCase>
{
};

// The text line names the frame, its meaning, the resulting state and where the load settles.
TEST_P(TextReportTest, LineShowsFrameMeaningStateAndLoad)
{
    const TextCase &c = GetParam();
    Simulator simulator(Source{}, false);
    std::vector<std::string> lines = simulator.received(c.bytes, kGoodLine, at(0), kWall);
    for (std::string &line : simulator.idle(at(100), kWall))
        lines.push_back(line);
    ASSERT_FALSE(lines.empty());
    const std::string &line = lines.back();
    EXPECT_EQ(line.find('\n'), std::string::npos);
    for (const std::string &part : c.parts)
        EXPECT_TRUE(contains(line, part)) << "'" << part << "' missing from: " << line;
}

INSTANTIATE_TEST_SUITE_P(
    Lines, TextReportTest,
    ::testing::Values(
        TextCase{"6204D2",
                 {"6204D2", "CV 12.34 V", "mode CV", "input OFF", "load 24.00 V 0.000 A 0.0 W"}},
        TextCase{"6701F46600FF",
                 {"6600FF", "input ON", "mode CC", "0.500 A", "load 23.75 V 0.500 A 11.9 W"}},
        TextCase{"6304D26600FF", {"12.34 A", "load 18.63 V 10.734 A 200.0 W (power rating)"}},
        TextCase{"6600FF", {"input ON", "mode -", "(no setpoint yet)"}},
        TextCase{"62\r\n", {"62\\x0D\\x0A", "bad frame", "0x0D"}}));

TEST(JsonReportTest, ValidFrameHasTheFields)
{
    Simulator simulator(Source{}, true);
    const auto lines = simulator.received("6701F4", kGoodLine, at(0), kWall);
    ASSERT_EQ(lines.size(), 1U);
    const std::string &json = lines[0];
    EXPECT_EQ(json.front(), '{');
    EXPECT_EQ(json.back(), '}');
    for (const char *part :
         {"\"event\":\"frame\"", "\"frame\":\"6701F4\"", "\"valid\":true", "\"command\":\"CC\"",
          "\"code\":\"67\"", "\"raw\":500", "\"value\":0.500", "\"unit\":\"A\"",
          "\"range\":\"low\"", "\"meaning\":\"CC 0.500 A (low range)\"", "\"mode\":\"CC\"",
          "\"input_on\":false", "\"cc\":0.500", "\"current\":0.000"})
        EXPECT_TRUE(contains(json, part)) << part << " missing from " << json;
}

TEST(JsonReportTest, BadFrameIsEscaped)
{
    Simulator simulator(Source{}, true);
    const auto lines = simulator.received("\"\\\r6204D2", kGoodLine, at(0), kWall);
    ASSERT_EQ(lines.size(), 2U);
    EXPECT_TRUE(contains(lines[0], R"("frame":"\"\\\u000D")")) << lines[0];
    EXPECT_TRUE(contains(lines[0], "\"valid\":false")) << lines[0];
    EXPECT_TRUE(contains(lines[0], "\"command\":null")) << lines[0];
    EXPECT_TRUE(contains(lines[0], "\"error\":")) << lines[0];
    EXPECT_TRUE(contains(lines[1], "\"valid\":true")) << lines[1];
}

TEST(SimulatorTest, ChecksTheLineOnTheFirstBytesOfEachConnection)
{
    Simulator simulator(Source{}, false);
    simulator.opened(kWall);
    auto lines = simulator.received("6204D2", kSlowLine, at(0), kWall);
    ASSERT_EQ(lines.size(), 2U);
    EXPECT_TRUE(contains(lines[0], "9600 baud 8N1")) << lines[0];
    EXPECT_EQ(simulator.received("6204D2", kSlowLine, at(10), kWall).size(), 1U);

    simulator.closed(kWall);
    simulator.opened(kWall);
    EXPECT_EQ(simulator.received("6204D2", kGoodLine, at(20), kWall).size(), 1U);
    simulator.closed(kWall);
    simulator.opened(kWall);
    EXPECT_EQ(simulator.received("6204D2", kSlowLine, at(30), kWall).size(), 2U);
}

TEST(SimulatorTest, NoBytesNoLineCheck)
{
    Simulator simulator(Source{}, false);
    simulator.opened(kWall);
    EXPECT_TRUE(simulator.received("", kSlowLine, at(0), kWall).empty());
    EXPECT_EQ(simulator.received("6204D2", kGoodLine, at(1), kWall).size(), 1U);
}

TEST(SimulatorTest, ClosingReportsTheUnfinishedFrameAndKeepsTheState)
{
    Simulator simulator(Source{}, false);
    simulator.opened(kWall);
    simulator.received("6204D26600FF62", kGoodLine, at(0), kWall);
    const auto lines = simulator.closed(kWall);
    ASSERT_EQ(lines.size(), 2U);
    EXPECT_TRUE(contains(lines[0], "bad frame")) << lines[0];
    EXPECT_TRUE(contains(lines[1], "closed")) << lines[1];
    EXPECT_FALSE(simulator.deadline());

    simulator.opened(kWall);
    EXPECT_EQ(simulator.load().mode(), Mode::Cv);
    EXPECT_TRUE(simulator.load().inputOn());
    // The next connection starts in step: its first frame is not glued to the old piece.
    const auto next = simulator.received("6701F4", kGoodLine, at(1), kWall);
    ASSERT_EQ(next.size(), 1U);
    EXPECT_TRUE(contains(next[0], "CC 0.500 A (low range)")) << next[0];
}

TEST(SimulatorTest, StoppingReportsTheUnfinishedFrame)
{
    Simulator simulator(Source{}, false);
    simulator.received("6204D2620", kGoodLine, at(0), kWall);
    const auto lines = simulator.stopped(kWall, "SIGTERM");
    ASSERT_EQ(lines.size(), 2U);
    EXPECT_TRUE(contains(lines[0], "620  bad frame: incomplete frame")) << lines[0];
    EXPECT_TRUE(contains(lines[1], "stopped on SIGTERM")) << lines[1];
}

TEST(SimulatorTest, IdleReportsAPartialFrameAfterThePause)
{
    Simulator simulator(Source{}, false);
    EXPECT_TRUE(simulator.received("620", kGoodLine, at(0), kWall).empty());
    ASSERT_TRUE(simulator.deadline());
    EXPECT_TRUE(simulator.idle(at(50), kWall).empty());
    const auto lines = simulator.idle(at(51), kWall);
    ASSERT_EQ(lines.size(), 1U);
    EXPECT_TRUE(contains(lines[0], "incomplete frame")) << lines[0];
    EXPECT_EQ(simulator.load().mode(), Mode::None);
}

} // namespace
} // namespace rz417::sim
