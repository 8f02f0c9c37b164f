#include "panel/FrontPanel.h"
#include "support/Fakes.h"

#include <gtest/gtest.h>

namespace rz417::test {
namespace {

constexpr const char *kTitle = "Electronic Load";

struct Scenario
{
    const char *name;
    std::set<int16_t> openable;
    std::vector<BoxAnswer> answers;
    std::vector<std::string> boxes; // texts, in order
    std::vector<int16_t> tried;     // CommPort values written, in order
    std::vector<int16_t> closed;
    bool loaded;
};

// Keeps test names short where the parameter is printed.
void PrintTo(const Scenario &scenario, std::ostream *os)
{
    *os << scenario.name;
}

std::vector<int16_t> range(int16_t from, int16_t to)
{
    std::vector<int16_t> v;
    for (int16_t n = from; n <= to; ++n)
        v.push_back(n);
    return v;
}

class StartupScenario : public ::testing::TestWithParam<Scenario>
{
};

TEST_P(StartupScenario, PromptsAndChosenPort)
{
    const Scenario &sc = GetParam();
    FakeCaptions captions;
    FakePlatform platform;
    FakeComm comm;
    comm.openable = sc.openable;
    platform.answers = sc.answers;
    FrontPanel panel(captions, platform, comm);

    EXPECT_EQ(panel.Form_Load(), sc.loaded);

    std::vector<std::string> texts;
    for (const ShownBox &box : platform.boxes) {
        texts.push_back(box.text);
        EXPECT_EQ(box.title, kTitle);
        if (box.text.rfind("Find Com ", 0) == 0)
            EXPECT_EQ(box.style, BoxStyle::YesNoQuestion);
        else if (box.text.rfind("Using COM", 0) == 0)
            EXPECT_EQ(box.style, BoxStyle::OkInformation);
        else
            EXPECT_EQ(box.style, BoxStyle::OkStop);
    }
    EXPECT_EQ(texts, sc.boxes);

    std::vector<int16_t> tried;
    for (const std::string &w : comm.writes) {
        if (w.rfind("CommPort=", 0) == 0)
            tried.push_back(static_cast<int16_t>(std::stoi(w.substr(9))));
        EXPECT_TRUE(w.rfind("Settings=", 0) != 0 || w == "Settings=115200 N 8 1") << w;
        EXPECT_NE(w.rfind("Output=", 0), 0u) << "start-up sends nothing: " << w;
    }
    EXPECT_EQ(tried, sc.tried);
    EXPECT_EQ(comm.closed, sc.closed);
    EXPECT_EQ(platform.ended, !sc.loaded);
    EXPECT_FALSE(platform.afterEnd);
    EXPECT_EQ(comm.open, sc.loaded) << "an accepted port stays open, otherwise none is left open";
}

INSTANTIATE_TEST_SUITE_P(
    Startup, StartupScenario,
    ::testing::Values(
        Scenario{"OnlyPort5",
                 {5},
                 {BoxAnswer::Yes},
                 {"Find Com 5, Using it?", "Using COM5:"},
                 range(1, 5),
                 {},
                 true},
        Scenario{"Ports1And3NoThenYes",
                 {1, 3},
                 {BoxAnswer::No, BoxAnswer::Yes},
                 {"Find Com 1, Using it?", "Find Com 3, Using it?", "Using COM3:"},
                 range(1, 3),
                 {1},
                 true},
        Scenario{"OnlyPort16",
                 {16},
                 {BoxAnswer::Yes},
                 {"Find Com 16, Using it?", "Using COM16:"},
                 range(1, 16),
                 {},
                 true},
        Scenario{"NoPort", {}, {}, {"No communication port can use!"}, range(1, 16), {}, false},
        Scenario{
            "EveryPortDeclined",
            {2, 7},
            {BoxAnswer::No, BoxAnswer::No},
            {"Find Com 2, Using it?", "Find Com 7, Using it?", "No communication port can use!"},
            range(1, 16),
            {2, 7},
            false}),
    [](const ::testing::TestParamInfo<Scenario> &param) { return std::string(param.param.name); });

// A panel before start-up whose control opens the given ports.
struct Unloaded
{
    explicit Unloaded(std::set<int16_t> openable) { comm.openable = std::move(openable); }

    FakeCaptions captions;
    FakePlatform platform;
    FakeComm comm;
    FrontPanel panel{captions, platform, comm};
};

TEST(Startup, PanelIsInConstantVoltageMode)
{
    Unloaded u({1});
    auto &[captions, platform, comm, panel] = u;
    ASSERT_TRUE(panel.Form_Load());

    const PanelState &s = panel.state();
    EXPECT_EQ(s.ModeCode, 1);
    EXPECT_FALSE(s.OutputOn);
    EXPECT_TRUE(s.EntryDone);
    EXPECT_EQ(captions[Caption::ModeLabel], "V");
    EXPECT_EQ(captions[Caption::RangeLabel], "Range : 0 to 63.00V");
    // Start-up writes only the unit and the range; the rest keep their captions as defined.
    EXPECT_EQ(captions.log.size(), 2u);
}

TEST(Startup, OpenWritesThePropertiesInOrder)
{
    Unloaded u({2});
    auto &[captions, platform, comm, panel] = u;
    ASSERT_TRUE(panel.Form_Load());
    const std::vector<std::string> expected{
        "CommPort=1", "Settings=115200 N 8 1", "PortOpen=1",
        "CommPort=2", "Settings=115200 N 8 1", "PortOpen=1",
    };
    EXPECT_EQ(comm.writes, expected);
}

TEST(Startup, OpenCommPortReturnsTheNumberOrZero)
{
    Unloaded u({3});
    auto &[captions, platform, comm, panel] = u;
    EXPECT_EQ(panel.OpenCommPort(4, "115200 N 8 1"), 0);
    EXPECT_EQ(panel.OpenCommPort(3, "115200 N 8 1"), 3);
    EXPECT_TRUE(comm.open);
    // A second open while one is open is refused by the control, and trapped.
    EXPECT_EQ(panel.OpenCommPort(3, "115200 N 8 1"), 0);
    EXPECT_TRUE(platform.boxes.empty());
}

TEST(Startup, FailedCloseIsReported)
{
    Unloaded u({1, 2});
    auto &[captions, platform, comm, panel] = u;
    platform.answers = {BoxAnswer::No, BoxAnswer::Yes};
    comm.closeError = CommCodes::NoHardware;
    ASSERT_TRUE(panel.Form_Load());
    ASSERT_EQ(platform.boxes.size(), 4u);
    EXPECT_EQ(platform.boxes[1].text, "Hardware not present");
    EXPECT_EQ(platform.boxes[1].title, "! RS-232 ERROR !");
    EXPECT_EQ(platform.boxes[3].text, "Using COM2:");
}

TEST(Startup, RefusedDevicesAreNamedOnStandardErrorAndUnderTheNoPortBox)
{
    const std::string denied =
        "/dev/ttyUSB0: permission denied (add your user to the dialout group and log in again)";
    const std::string held = "/dev/ttyUSB1: in use by another program (process 4242)";
    const struct
    {
        const char *name;
        std::map<int16_t, std::string> refusals;
        std::set<int16_t> openable;
        std::vector<std::string> diagnostics;
        std::string lastBox;
        std::string detail;
    } cases[] = {
        {"both refused",
         {{1, denied}, {2, held}},
         {},
         {denied, held},
         "No communication port can use!",
         denied + "\n" + held},
        {"absent devices say nothing", {}, {}, {}, "No communication port can use!", ""},
        {"refused, then another used", {{1, denied}}, {3}, {denied}, "Using COM3:", ""},
    };
    for (const auto &c : cases) {
        Unloaded u(c.openable);
        u.comm.refusals = c.refusals;
        u.panel.Form_Load();
        EXPECT_EQ(u.platform.diagnostics, c.diagnostics) << c.name;
        ASSERT_FALSE(u.platform.boxes.empty()) << c.name;
        EXPECT_EQ(u.platform.boxes.back().text, c.lastBox) << c.name;
        EXPECT_EQ(u.platform.boxes.back().detail, c.detail) << c.name;
        // Every refusal was still silent in OpenCommPort's own terms: no box for it.
        EXPECT_EQ(u.platform.boxes.size(), c.openable.empty() ? 1u : 2u) << c.name;
    }
}

} // namespace
} // namespace rz417::test
