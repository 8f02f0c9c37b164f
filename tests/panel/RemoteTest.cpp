// SCPI clients driving the load through the panel: what goes out, what the panel shows, what
// the clients are answered, and when the panel is in remote, locked out, or back in local.
#include "panel/PanelLoad.h"
#include "program/Program.h"
#include "scpi/Instrument.h"
#include "support/PanelHarness.h"
#include "support/TempDir.h"

#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

namespace rz417::test {
namespace {

struct RemoteRig
{
    RemoteRig() : load(h.panel, client), instrument(load) {}

    // "> MSG" a client's message; "L" Go to Local; "gone" the last client left; "run" a program
    // starts; "battery" a battery test starts; "cut" the line fails from now on; "trip" the
    // watchdog trips; anything else is keys of the panel.
    void step(const std::string &what)
    {
        if (what.rfind("> ", 0) == 0) {
            answer = instrument.execute(what.substr(2), clientState).response;
        } else if (what == "L") {
            h.panel.GoToLocal_Click();
        } else if (what == "gone") {
            h.panel.clientsGone();
        } else if (what == "run") {
            auto program = std::make_shared<Program>(
                parseProgram("mode,setpoint,input,dwell\nCC,0.5,,60\nCC,0.6,,60\n"));
            startProgram(h.panel, program, 1, SteadyTime{});
            h.panel.stepRun(SteadyTime{});
        } else if (what == "battery") {
            struct : Clock
            {
                SteadyTime now() override { return {}; }
            } clock;
            battery::Stops stops;
            stops.timeMs = 60000;
            startBattery(h.panel,
                         std::make_unique<battery::DischargeRun>(
                             battery::DischargePlan{ModeCodes::CC, 1000}, stops, false),
                         clock);
        } else if (what == "trip") {
            scpi::Instrument::tellTrip(clientState, instrument.tripWatchdog());
        } else if (what == "cut") {
            h.comm.outputError = CommCodes::TxQueueFull;
        } else {
            h.pressAll(what);
        }
    }

    PanelHarness h;
    std::string client = "127.0.0.1:40112";
    PanelLoad load;
    scpi::Instrument instrument;
    scpi::ClientState clientState;
    std::string answer;
};

TEST(Remote, ClientsAndKeysToFramesDisplayAndState)
{
    using S = RemoteState;
    struct Row
    {
        std::vector<std::string> steps;
        std::vector<std::string> frames;
        const char *display, *unit, *output;
        RemoteState state;
        const char *answer; // to the last message
    };
    const Row rows[] = {
        // A setpoint shows as after a program step; the next digit starts a new entry.
        {{"> CURR 2.5"}, {"6300FA"}, "02.50", "A", "Output / OFF", S::Remote, ""},
        {{"> CURR 2.5", "L", "7"}, {"6300FA"}, "0.007", "A", "Output / OFF", S::Local, ""},
        {{"> POW 150"}, {"6405DC"}, "150.0", "W", "Output / OFF", S::Remote, ""},
        // Mode and digit buttons and Enter are dead in remote; Output is live.
        {{"> VOLT 5", "CC 1 2 Enter"}, {"6201F4"}, "05.00", "V", "Output / OFF", S::Remote, ""},
        {{"> VOLT 5", "Output"}, {"6201F4", "6600FF"}, "05.00", "V", "Output /ON", S::Remote, ""},
        {{"> INP ON"}, {"6600FF"}, "00.00", "V", "Output /ON", S::Remote, ""},
        {{"> INP ON", "Output"}, {"6600FF", "66FFFF"}, "00.00", "V", "Output / OFF", S::Remote, ""},
        {{"Output", "> *RST"}, {"6600FF", "66FFFF"}, "00.00", "V", "Output / OFF", S::Remote, ""},
        // Queries and status commands leave the panel in local.
        {{"> *IDN?;*CLS;SYST:ERR?"},
         {},
         "00.00",
         "V",
         "Output / OFF",
         S::Local,
         "QUENDA,RZ-417,0,1.00;0,\"No error\"\n"},
        // What the panel keyed and sent is what a client reads.
        {{"CC 1 2 3 4 Enter", "> CURR?"},
         {"63007B"},
         "01.23",
         "A",
         "Output / OFF",
         S::Local,
         "1.230\n"},
        {{"> VOLT 5", "> VOLT?;FUNC?"},
         {"6201F4"},
         "05.00",
         "V",
         "Output / OFF",
         S::Remote,
         "5.00;VOLT\n"},
        // Local, lockout and the clients' going.
        {{"> SYST:REM", "5"}, {}, "00.00", "V", "Output / OFF", S::Remote, ""},
        {{"> SYST:REM", "L", "5"}, {}, "00.05", "V", "Output / OFF", S::Local, ""},
        {{"> SYST:RWL", "L", "5"}, {}, "00.00", "V", "Output / OFF", S::Lockout, ""},
        {{"> SYST:RWL", "> SYST:LOC", "5"}, {}, "00.05", "V", "Output / OFF", S::Local, ""},
        {{"> SYST:RWL", "gone"}, {}, "00.00", "V", "Output / OFF", S::Local, ""},
        {{"> VOLT 5", "gone", "Enter"},
         {"6201F4", "6201F4"},
         "05.00",
         "V",
         "Output / OFF",
         S::Local,
         ""},
        {{"> SYST:RWL", "> VOLT 5", "L", "Output"},
         {"6201F4", "6600FF"},
         "05.00",
         "V",
         "Output /ON",
         S::Lockout,
         ""},
        {{"> SYST:RWL", "> SYST:REM", "L"}, {}, "00.00", "V", "Output / OFF", S::Local, ""},
        // A program running on the panel: nothing a client sends goes out, queries answer.
        {{"run", "> CURR 1", "> SYST:ERR?"},
         {"6701F4"},
         "0.500",
         "A",
         "Output / OFF",
         S::Local,
         "-221,\"Settings conflict;a program runs on the panel; stop it there, or wait for its "
         "end: the frame 6703E8 (CC 1.000 A) was not sent\"\n"},
        {{"run", "> CURR?"}, {"6701F4"}, "0.500", "A", "Output / OFF", S::Local, "0.500\n"},
        {{"battery", "> INP OFF", "> SYST:ERR?"},
         {"6703E8", "6600FF"},
         "01.00",
         "A",
         "Output /ON",
         S::Local,
         "-221,\"Settings conflict;a battery test runs on the panel; stop it there, or wait for "
         "its end: the frame 66FFFF (input off) was not sent\"\n"},
        {{"> SYST:REM", "run"}, {}, "00.00", "V", "Output / OFF", S::Remote, ""},
        // A write that fails goes to the client's queue, and the panel keeps what it showed.
        {{"5 Enter", "cut", "> VOLT 7", "> SYST:ERR?"},
         {"620005"},
         "00.05",
         "V",
         "Output / OFF",
         S::Remote,
         "-240,\"Hardware error;Tx queue is full: the frame 6202BC (CV 7.00 V) did not go "
         "out\"\n"},
        // A cut input-on frame may still reach the load: the panel and INP? say what may be true.
        {{"cut", "> INP ON"}, {}, "00.00", "V", "Output /ON", S::Remote, ""},
        {{"cut", "> INP ON", "> INP?"}, {}, "00.00", "V", "Output /ON", S::Remote, "1\n"},
    };
    for (const Row &row : rows) {
        RemoteRig rig;
        std::string steps;
        for (const std::string &s : row.steps) {
            rig.step(s);
            steps += "[" + s + "] ";
        }
        EXPECT_EQ(rig.h.comm.frames, row.frames) << steps;
        EXPECT_EQ(rig.h.display(), row.display) << steps;
        EXPECT_EQ(rig.h.captions[Caption::ModeLabel], row.unit) << steps;
        EXPECT_EQ(rig.h.captions[Caption::OutputCommand], row.output) << steps;
        EXPECT_EQ(rig.h.panel.remoteState(), row.state) << steps;
        EXPECT_EQ(rig.answer, row.answer) << steps;
        EXPECT_TRUE(rig.h.platform.boxes.empty()) << steps << rig.h.platform.boxes[0].text;
        const auto &changes = rig.h.captions.remoteChanges;
        EXPECT_EQ(changes.empty() ? S::Local : changes.back(), row.state) << steps;
    }
}

TEST(Remote, AWatchdogTripSwitchesTheInputOffAndSaysWhyWithoutABox)
{
    const std::string off = "watchdog: no SCPI message for 60 s, input switched off";
    const struct
    {
        std::vector<std::string> steps;
        std::vector<std::string> frames;
        const char *output;
        std::string notice;
    } rows[] = {
        {{"> INP ON", "trip"}, {"6600FF", "66FFFF"}, "Output / OFF", off},
        // The panel's own keys do not feed it, and nothing need be on.
        {{"Output", "trip"}, {"6600FF", "66FFFF"}, "Output / OFF", off},
        {{"trip"}, {"66FFFF"}, "Output / OFF", off},
        // A run stops with it, as at Output.
        {{"run", "trip", "CC 1 Enter"},
         {"6701F4", "66FFFF", "66FFFF", "670001"},
         "Output / OFF",
         off},
        {{"battery", "trip"}, {"6703E8", "6600FF", "66FFFF"}, "Output / OFF", off},
        // The caption shows off only once the frame went out.
        {{"> INP ON", "cut", "trip"},
         {"6600FF"},
         "Output /ON",
         "watchdog: no SCPI message for 60 s, input off did not go out (Tx queue is full)"},
        // Said until the input goes on again.
        {{"> INP ON", "trip", "> VOLT 5"}, {"6600FF", "66FFFF", "6201F4"}, "Output / OFF", off},
        {{"> INP ON", "trip", "> INP ON"}, {"6600FF", "66FFFF", "6600FF"}, "Output /ON", ""},
    };
    for (const auto &row : rows) {
        RemoteRig rig;
        std::string steps;
        for (const std::string &s : row.steps) {
            rig.step(s);
            steps += "[" + s + "] ";
        }
        EXPECT_EQ(rig.h.comm.frames, row.frames) << steps;
        EXPECT_EQ(rig.h.captions[Caption::OutputCommand], row.output) << steps;
        EXPECT_EQ(rig.h.captions.notice, row.notice) << steps;
        EXPECT_FALSE(rig.h.panel.runActive()) << steps;
        EXPECT_TRUE(rig.h.platform.boxes.empty()) << steps << rig.h.platform.boxes[0].text;
        EXPECT_EQ(rig.instrument.execute("SYST:ERR:COUN?", rig.clientState).response, "1\n");
    }
}

TEST(Remote, TheJournalNamesTheClient)
{
    TempDir dir;
    RemoteRig rig;
    std::string error;
    rig.h.panel.setJournal(Journal::open(dir.path("j.csv"), error));
    rig.step("> CURR 2.5");
    rig.step("Output");
    rig.step("trip");
    rig.h.panel.setJournal(nullptr);
    std::ifstream in(std::filesystem::u8path(dir.path("j.csv")));
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_NE(text.str().find(",scpi,,,6300FA,CC 2.50 A (from 127.0.0.1:40112),sent\n"),
              std::string::npos)
        << text.str();
    EXPECT_NE(text.str().find(",panel,,,6600FF,"), std::string::npos) << text.str();
    EXPECT_NE(
        text.str().find(",scpi,,,66FFFF,input off (watchdog: no SCPI message for 60 s),sent\n"),
        std::string::npos)
        << text.str();
}

} // namespace
} // namespace rz417::test
