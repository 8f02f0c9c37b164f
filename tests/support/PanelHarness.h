#pragma once

#include "battery/BatteryRun.h"
#include "panel/FrontPanel.h"
#include "panel/PanelRuns.h"
#include "support/Fakes.h"

#include <memory>
#include <string>
#include <vector>

namespace rz417::test {

// The panel's run, as a program's or a battery test's; nothing when it is another's.
inline const ProgramRun *programRun(const FrontPanel &panel)
{
    const auto *run = dynamic_cast<const ProgramPanelRun *>(panel.run());
    return run ? &run->run() : nullptr;
}

inline bool programRunning(const FrontPanel &panel)
{
    return panel.runActive() && programRun(panel);
}

inline const battery::DischargeRun *batteryRun(const FrontPanel &panel)
{
    const auto *run = dynamic_cast<const MeasuredPanelRun *>(panel.run());
    return run ? dynamic_cast<const battery::DischargeRun *>(&run->run()) : nullptr;
}

inline bool startProgram(FrontPanel &panel, std::shared_ptr<const Program> program, int passes,
                         SteadyTime at)
{
    struct : Clock
    {
        SteadyTime t;
        SteadyTime now() override { return t; }
    } clock;
    clock.t = at;
    return panel.startRun(std::make_unique<ProgramPanelRun>(std::move(program), passes), clock);
}

inline bool startBattery(FrontPanel &panel, std::unique_ptr<battery::DischargeRun> run,
                         Clock &clock)
{
    return panel.startRun(
        std::make_unique<MeasuredPanelRun>(std::move(run), "a battery test", "battery"), clock);
}

inline void batteryReading(FrontPanel &panel, const std::optional<std::string> &answer,
                           const std::string &why, SteadyTime at)
{
    // Filled in steps: g++ 12 takes the copy of an empty optional for a read of uninitialised
    // memory under the sanitizers' optimisation.
    MeterReading reading;
    if (answer)
        reading.answer = *answer;
    reading.why = why;
    panel.stepRun(at, &reading);
}

// A panel after a start-up that accepted port 1, driven by key names: "0".."9", "CV", "CC",
// "CP", "CR", "Enter", "Output".
struct PanelHarness
{
    PanelHarness()
    {
        comm.openable = {1};
        panel.Form_Load();
        comm.writes.clear();
        platform.boxes.clear();
    }

    void press(const std::string &key)
    {
        using Handler = void (FrontPanel::*)();
        static const std::vector<std::pair<std::string, Handler>> handlers{
            {"0", &FrontPanel::ZeroCommand_Click},
            {"1", &FrontPanel::OneCommand_Click},
            {"2", &FrontPanel::TwoCommand_Click},
            {"3", &FrontPanel::ThreeCommand_Click},
            {"4", &FrontPanel::FourCommand_Click},
            {"5", &FrontPanel::FiveCommand_Click},
            {"6", &FrontPanel::SixCommand_Click},
            {"7", &FrontPanel::SevenCommand_Click},
            {"8", &FrontPanel::EightCommand_Click},
            {"9", &FrontPanel::NineCommand_Click},
            {"CV", &FrontPanel::CVCommand_Click},
            {"CC", &FrontPanel::CCCommand_Click},
            {"CP", &FrontPanel::CPCommand_Click},
            {"CR", &FrontPanel::CRCommand_Click},
            {"Enter", &FrontPanel::EnterCommand_Click},
            {"Output", &FrontPanel::OutputCommand_Click},
            {"Escape", &FrontPanel::Escape_Press},
        };
        for (const auto &[name, handler] : handlers) {
            if (name == key) {
                (panel.*handler)();
                return;
            }
        }
        throw std::invalid_argument("no such key: " + key);
    }

    // Presses each key of a blank-separated sequence.
    void pressAll(const std::string &keys)
    {
        std::string key;
        for (const char c : keys + " ") {
            if (c == ' ') {
                if (!key.empty())
                    press(key);
                key.clear();
            } else {
                key += c;
            }
        }
    }

    std::string display() const { return captions[Caption::CValue]; }

    FakeCaptions captions;
    FakePlatform platform;
    FakeComm comm;
    FrontPanel panel{captions, platform, comm};
};

} // namespace rz417::test
