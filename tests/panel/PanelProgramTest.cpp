// A program run by the panel: what goes out, what the panel shows and holds after each step,
// the emergency stop, and the journal of every frame.
#include "program/Program.h"
#include "support/PanelHarness.h"

#include <csignal>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/resource.h>
#include <unistd.h>

namespace rz417::test {
namespace {

using namespace std::chrono_literals;

std::shared_ptr<const Program> program(const std::string &text)
{
    auto p = std::make_shared<Program>(parseProgram(text));
    EXPECT_TRUE(p->problems.empty()) << p->problems.front().message;
    return p;
}

const std::string kPulses = "mode,setpoint,input,dwell\n"
                            "CC,0.5,on,1\n"
                            "CC,2.000,,0.5\n"
                            "CR,47.5,,1\n"
                            ",,off,0\n";

TEST(PanelProgram, EachStepShowsAndHoldsWhatWasSent)
{
    PanelHarness h;
    h.pressAll("CP 1 2 Enter Output");
    h.comm.frames.clear();
    const SteadyTime t0{};
    startProgram(h.panel, program(kPulses), 1, t0);
    EXPECT_EQ(h.captions.runningChanges, std::vector<bool>{true});

    const struct
    {
        std::chrono::milliseconds at;
        std::vector<std::string> frames; // sent by then, all told
        const char *display, *unit, *output;
        int16_t mode;
        bool outputOn;
    } steps[] = {
        {0ms, {"6701F4", "6600FF"}, "0.500", "A", "Output /ON", 2, true},
        {999ms, {"6701F4", "6600FF"}, "0.500", "A", "Output /ON", 2, true},
        {1000ms, {"6701F4", "6600FF", "6300C8"}, "02.00", "A", "Output /ON", 2, true},
        {2500ms,
         {"6701F4", "6600FF", "6300C8", "6501DB", "66FFFF"},
         "047.5",
         "\u03A9",
         "Output / OFF",
         4,
         false},
    };
    for (const auto &s : steps) {
        h.panel.stepRun(t0 + s.at);
        EXPECT_EQ(h.comm.frames, s.frames) << s.at.count();
        EXPECT_EQ(h.display(), s.display) << s.at.count();
        EXPECT_EQ(h.captions[Caption::ModeLabel], s.unit) << s.at.count();
        EXPECT_EQ(h.captions[Caption::OutputCommand], s.output) << s.at.count();
        EXPECT_EQ(h.panel.state().ModeCode, s.mode);
        EXPECT_EQ(h.panel.state().OutputOn, s.outputOn);
    }
    EXPECT_FALSE(programRunning(h.panel));
    EXPECT_EQ(h.captions.runningChanges, (std::vector<bool>{true, false}));
    EXPECT_EQ(h.captions[Caption::RangeLabel], "Range : 0 to 999.9\u03A9");
    EXPECT_EQ(h.captions.descriptions[Caption::CValue], "Setpoint in ohms");
    // The panel continues from the instrument's state: what was sent comes back with a mode.
    const PanelState &s = h.panel.state();
    EXPECT_EQ(s.SentCurrent, 2000);
    EXPECT_EQ(s.SentResistance, 475);
    EXPECT_EQ(s.SentPower, 12) << "untouched by the program";
    h.pressAll("CC");
    EXPECT_EQ(h.display(), "02.00");
    EXPECT_TRUE(h.platform.boxes.empty());
}

TEST(PanelProgram, DuringARunOnlyOutputActsAndItStopsTheRun)
{
    for (const char *stopKey : {"Output", "Exit"}) {
        PanelHarness h;
        startProgram(h.panel, program(kPulses), 0, SteadyTime{});
        h.panel.stepRun(SteadyTime{});
        h.comm.frames.clear();
        const PanelState before = h.panel.state();
        h.pressAll("CV 1 2 Enter CR 5");
        EXPECT_TRUE(h.comm.frames.empty()) << "keys and clicks other than Output send nothing";
        EXPECT_EQ(h.panel.state().ModeCode, before.ModeCode);
        EXPECT_EQ(h.display(), "0.500");
        EXPECT_TRUE(h.panel.escapeActs());

        if (std::string(stopKey) == "Exit")
            h.panel.Exit_Click();
        else
            h.press(stopKey);
        EXPECT_EQ(h.comm.frames, std::vector<std::string>{"66FFFF"}) << stopKey;
        EXPECT_FALSE(programRunning(h.panel));
        EXPECT_EQ(h.captions[Caption::OutputCommand], "Output / OFF");
        h.panel.stepRun(SteadyTime{} + 10s);
        EXPECT_EQ(h.comm.frames.size(), 1u) << "nothing more is sent by a stopped run";
    }
}

TEST(PanelProgram, AFailedWriteEndsTheRunWithTheErrorBox)
{
    PanelHarness h;
    startProgram(h.panel, program(kPulses), 1, SteadyTime{});
    h.panel.stepRun(SteadyTime{});
    h.comm.outputError = CommCodes::NotOpen;
    h.panel.stepRun(SteadyTime{} + 1s);
    EXPECT_FALSE(programRunning(h.panel));
    ASSERT_EQ(h.platform.boxes.size(), 1u);
    EXPECT_EQ(h.platform.boxes[0].text, "Device not Open");
    EXPECT_EQ(h.platform.boxes[0].title, "! RS-232 ERROR !");
    EXPECT_EQ(*programRun(h.panel)->currentStep(), 1u);
    EXPECT_EQ(programRun(h.panel)->error(), "Device not Open");
    // The panel shows the state the instrument was last told.
    EXPECT_EQ(h.display(), "0.500");
    EXPECT_EQ(h.captions[Caption::OutputCommand], "Output /ON");
    EXPECT_EQ(h.panel.state().SentCurrent, 500);
    // The input that may be on goes off before the box, as a stop does; here that fails too.
    EXPECT_EQ(h.comm.writes.back(), "Output=66FFFF");
}

std::vector<std::vector<std::string>> journalRows(const std::string &path)
{
    std::ifstream in(path);
    std::vector<std::vector<std::string>> rows;
    std::string line;
    while (std::getline(in, line)) {
        std::vector<std::string> fields;
        std::stringstream fieldStream(line);
        std::string field;
        while (std::getline(fieldStream, field, ','))
            fields.push_back(field);
        fields.erase(fields.begin()); // the time
        rows.push_back(fields);
    }
    return rows;
}

TEST(PanelProgram, EveryFrameIsJournaledAndAFailingJournalIsToldOnce)
{
    const std::string path = std::filesystem::temp_directory_path() /
                             ("rz417-panel-journal-" + std::to_string(::getpid()) + ".csv");
    std::filesystem::remove(path);
    PanelHarness h;
    std::string error;
    h.panel.setJournal(Journal::open(path, error));
    ASSERT_NE(h.panel.journal(), nullptr) << error;
    EXPECT_EQ(h.captions.journal, path);

    h.pressAll("CC 1 2 3 5 5 Enter Output");
    startProgram(h.panel, program(kPulses), 1, SteadyTime{});
    h.panel.stepRun(SteadyTime{});
    h.press("Output");
    h.comm.outputError = CommCodes::TxQueueFull;
    h.press("Enter");
    const std::vector<std::vector<std::string>> expected{
        {"source", "step", "line", "frame", "meaning", "result"},
        {"panel", "", "", "6304D4", "CC 12.36 A", "sent"},
        {"panel", "", "", "6600FF", "input on", "sent"},
        {"program", "1", "2", "6701F4", "CC 0.500 A", "sent"},
        {"program", "1", "2", "6600FF", "input on", "sent"},
        {"program", "1", "2", "66FFFF", "input off", "sent"},
        {"panel", "", "", "6701F4", "CC 0.500 A", "Tx queue is full (write failed)"},
    };
    EXPECT_EQ(journalRows(path), expected);

    // A journal the disk no longer takes: one box, then the panel goes on without it.
    h.comm.outputError.reset();
    h.platform.boxes.clear();
    rlimit saved{};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit full = saved;
    full.rlim_cur = std::filesystem::file_size(path);
    ::setrlimit(RLIMIT_FSIZE, &full);
    h.pressAll("Enter Enter");
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(h.comm.frames.size(), 7u) << "the frames still went out";
    ASSERT_EQ(h.platform.boxes.size(), 1u);
    EXPECT_EQ(h.platform.boxes[0].text.rfind(
                  "The journal is off: cannot write the journal " + path + ": ", 0),
              0u)
        << h.platform.boxes[0].text;
    EXPECT_EQ(h.panel.journal(), nullptr);
    EXPECT_EQ(h.captions.journal, "");
    std::filesystem::remove(path);
}

} // namespace
} // namespace rz417::test
