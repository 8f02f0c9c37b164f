// What one button costs the UI thread, the write to the line excluded: the panel's logic alone
// (captions to a sink that keeps nothing) and through the window (the button's clicked signal,
// the handler and the labels' new text; the repaint that follows is measured elsewhere).
#include "panel/FrontPanel.h"
#include "support/Doubles.h"
#include "window/PanelApp.h"

#include <QApplication>
#include <QPushButton>

#include <benchmark/benchmark.h>

#include <array>
#include <cmath>
#include <memory>

namespace rz417::bench {
namespace {

constexpr int kRepetitions = 30;

class DiscardCaptions : public CaptionSink
{
public:
    void setCaption(Caption, const std::string &text) override
    {
        benchmark::DoNotOptimize(text.data());
    }
    void setDescription(Caption, const std::string &) override {}
    void setJournalStatus(const std::string &) override {}
    void setRunning(bool) override {}
    void setRemote(RemoteState) override {}
};

double p99(const std::vector<double> &v)
{
    std::vector<double> sorted(v);
    std::sort(sorted.begin(), sorted.end());
    const auto rank =
        static_cast<std::size_t>(std::ceil(0.99 * static_cast<double>(sorted.size())));
    return sorted[std::max<std::size_t>(rank, 1) - 1];
}

struct CorePanel
{
    CorePanel() { panel.Form_Load(); }
    DiscardCaptions captions;
    InstantPlatform platform;
    NullComm comm;
    FrontPanel panel{captions, platform, comm};
};

using Handler = void (FrontPanel::*)();
constexpr std::array<Handler, 10> kDigits{
    &FrontPanel::ZeroCommand_Click,  &FrontPanel::OneCommand_Click,
    &FrontPanel::TwoCommand_Click,   &FrontPanel::ThreeCommand_Click,
    &FrontPanel::FourCommand_Click,  &FrontPanel::FiveCommand_Click,
    &FrontPanel::SixCommand_Click,   &FrontPanel::SevenCommand_Click,
    &FrontPanel::EightCommand_Click, &FrontPanel::NineCommand_Click};
constexpr std::array<Handler, 4> kModes{&FrontPanel::CVCommand_Click, &FrontPanel::CCCommand_Click,
                                        &FrontPanel::CPCommand_Click, &FrontPanel::CRCommand_Click};

void BM_Core_DigitKey(benchmark::State &state)
{
    CorePanel p;
    std::size_t i = 0;
    for (auto _ : state) {
        (p.panel.*kDigits[i % kDigits.size()])();
        ++i;
    }
    benchmark::DoNotOptimize(p.panel.state());
}

void BM_Core_ModeButton(benchmark::State &state)
{
    CorePanel p;
    std::size_t i = 0;
    for (auto _ : state) {
        (p.panel.*kModes[i % kModes.size()])();
        ++i;
    }
    benchmark::DoNotOptimize(p.panel.state());
}

void BM_Core_DataTransfer(benchmark::State &state)
{
    CorePanel p;
    int16_t selector = 1;
    for (auto _ : state) {
        benchmark::DoNotOptimize(p.panel.DataTransfer(selector));
        selector = static_cast<int16_t>(selector % 5 + 1);
    }
    if (p.comm.bytes() == 0)
        state.SkipWithError("DataTransfer sent nothing");
}

void BM_Core_Output(benchmark::State &state)
{
    CorePanel p;
    for (auto _ : state)
        p.panel.OutputCommand_Click();
    benchmark::DoNotOptimize(p.panel.state());
}

// The window as the user drives it: QAbstractButton::click() emits clicked(), which runs the
// handler and sets the labels' text.
struct WindowPanel
{
    WindowPanel()
    {
        app.load();
        form.show();
        QCoreApplication::processEvents();
    }
    QPushButton *button(const char *name)
    {
        return form.findChild<QPushButton *>(QString::fromLatin1(name));
    }
    InstantPlatform platform;
    NullComm comm;
    PanelApp app{platform, comm};
    UIForm &form = app.form();
};

void runButtons(benchmark::State &state, std::initializer_list<const char *> names)
{
    WindowPanel w;
    std::vector<QPushButton *> buttons;
    for (const char *name : names) {
        buttons.push_back(w.button(name));
        if (!buttons.back()) {
            state.SkipWithError("button missing");
            return;
        }
    }
    std::size_t i = 0;
    for (auto _ : state) {
        buttons[i % buttons.size()]->click();
        ++i;
    }
    // Repaints are not part of the handler; let them happen outside the timed loop.
    QCoreApplication::processEvents();
}

void BM_Window_DigitKey(benchmark::State &state)
{
    runButtons(state, {"ZeroCommand", "OneCommand", "TwoCommand", "ThreeCommand", "FourCommand",
                       "FiveCommand", "SixCommand", "SevenCommand", "EightCommand", "NineCommand"});
}

void BM_Window_ModeButton(benchmark::State &state)
{
    runButtons(state, {"CVCommand", "CCCommand", "CPCommand", "CRCommand"});
}

void BM_Window_Enter(benchmark::State &state)
{
    runButtons(state, {"EnterCommand"});
}

void BM_Window_Output(benchmark::State &state)
{
    runButtons(state, {"OutputCommand"});
}

void configure(benchmark::internal::Benchmark *b)
{
    b->Repetitions(kRepetitions)
        ->MinTime(0.02)
        ->Unit(benchmark::kMicrosecond)
        ->ComputeStatistics("p99", p99)
        ->ReportAggregatesOnly(true);
}

BENCHMARK(BM_Core_DigitKey)->Apply(configure);
BENCHMARK(BM_Core_ModeButton)->Apply(configure);
BENCHMARK(BM_Core_DataTransfer)->Apply(configure);
BENCHMARK(BM_Core_Output)->Apply(configure);
BENCHMARK(BM_Window_DigitKey)->Apply(configure);
BENCHMARK(BM_Window_ModeButton)->Apply(configure);
BENCHMARK(BM_Window_Enter)->Apply(configure);
BENCHMARK(BM_Window_Output)->Apply(configure);

} // namespace
} // namespace rz417::bench

int main(int argc, char **argv)
{
    // The window needs no display here: nothing is painted inside the timed loops.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
