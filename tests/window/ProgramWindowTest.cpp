// The program window: its table against good and bad files, and a program run by the window
// against a real line.
#include "window/ProgramWindow.h"
#include "serial/SerialPortControl.h"
#include "support/Fakes.h"
#include "support/PanelHarness.h"
#include "support/Pty.h"
#include "window/PanelApp.h"
#include "window/ProgramModel.h"
#include "window/ProgramPlot.h"

#include <QAction>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <unistd.h>

namespace rz417::test {
namespace {

using namespace std::chrono_literals;

std::string writeFile(const std::string &name, const std::string &text)
{
    const std::string path = std::filesystem::temp_directory_path() /
                             ("rz417-" + std::to_string(::getpid()) + "-" + name);
    std::ofstream(path) << text;
    return path;
}

TEST(ProgramWindow, TableRowsAndErrors)
{
    const struct
    {
        const char *name;
        const char *text;
        std::vector<std::vector<QString>>
            rows; // Step, Mode, Setpoint, Input, Dwell, Start, Comment
        QStringList fileProblems;
        bool runnable;
    } cases[] = {
        {"good",
         "mode,setpoint,input,dwell,comment\nCC,0.5,on,60,warm-up\nCR,47.5,,0.25,\n,,off,0,end\n",
         {{"1", "CC", "0.500 A", "on", "60 s", "0 s", "warm-up"},
          {"2", "CR", "47.5 \u03A9", "", "0.25 s", "60 s", ""},
          {"3", "", "", "off", "0 s", "60.25 s", "end"}},
         {},
         true},
        {"bad rows",
         "mode,setpoint,input,dwell\nCX,1,,1\nCV,1,,1\nCV,99,,0.001\n",
         {{"line 2", "", "", "", "", "", ""},
          {"1", "CV", "1.00 V", "", "1 s", "0 s", ""},
          {"line 4", "", "", "", "", "", ""}},
         {},
         false},
        {"no steps", "mode,setpoint,dwell\n", {}, {"F: no steps"}, false},
    };
    for (const auto &c : cases) {
        const std::string path = writeFile("table.csv", c.text);
        auto program = std::make_shared<const Program>(loadProgram(path));
        ProgramModel model(QString::fromStdString(path), program);
        ASSERT_EQ(model.rowCount(), static_cast<int>(c.rows.size())) << c.name;
        for (int r = 0; r < model.rowCount(); ++r) {
            for (int col = 0; col < ProgramModel::CommentColumn; ++col) {
                EXPECT_EQ(model.index(r, col).data().toString(), c.rows[r][col])
                    << c.name << " row " << r << " column " << col;
            }
            // A refused line says what is wrong with it.
            const QString comment = model.index(r, ProgramModel::CommentColumn).data().toString();
            if (c.rows[r][0].startsWith("line"))
                EXPECT_FALSE(comment.isEmpty()) << c.name << " row " << r;
            else
                EXPECT_EQ(comment, c.rows[r][6]) << c.name << " row " << r;
        }
        EXPECT_EQ(model.fileProblems().size(), c.fileProblems.size()) << c.name;

        FakeCaptions captions;
        FakePlatform platform;
        FakeComm comm;
        FrontPanel panel(captions, platform, comm);
        ProgramWindow window(panel, QString::fromStdString(path), program);
        EXPECT_EQ(window.findChild<QPushButton *>("Start")->isEnabled(), c.runnable) << c.name;
        // A client in charge keeps Start off until the panel is back in local.
        panel.remoteRequest(scpi::RemoteRequest::Remote);
        window.remoteChanged();
        EXPECT_FALSE(window.findChild<QPushButton *>("Start")->isEnabled()) << c.name;
        panel.GoToLocal_Click();
        window.remoteChanged();
        EXPECT_EQ(window.findChild<QPushButton *>("Start")->isEnabled(), c.runnable) << c.name;
        EXPECT_EQ(window.findChild<QLabel *>("FileProblems")->isVisibleTo(&window),
                  !c.fileProblems.isEmpty())
            << c.name;
        std::filesystem::remove(path);
    }
}

// The plot as drawn: each mode's line in its colour only while the mode is set, the shading
// while the input is on, the cursor where it is put.
TEST(ProgramWindow, PlotDrawsLinesShadingAndCursor)
{
    const Program program = parseProgram("mode,setpoint,input,dwell\nCC,0.5,on,1\nCV,12,,1\n"
                                         "CC,1,off,2\n");
    ProgramPlot plot(program);
    plot.resize(600, 300);
    const QRectF area = plot.plotArea();
    ASSERT_GT(area.width(), 300);
    ASSERT_GT(area.height(), 100);
    // How many pixels of the column at time t inside the plot area match.
    const auto count = [&](const QImage &image, double t, auto matches) {
        const int x = static_cast<int>(area.left() + t / 4.0 * area.width());
        int n = 0;
        for (int y = static_cast<int>(area.top()) + 2; y < static_cast<int>(area.bottom()) - 1; ++y)
            n += matches(image.pixelColor(x, y)) ? 1 : 0;
        return n;
    };
    const auto near = [](QColor colour) {
        return [colour](QColor c) {
            return std::abs(c.red() - colour.red()) + std::abs(c.green() - colour.green()) +
                       std::abs(c.blue() - colour.blue()) <
                   12;
        };
    };
    const QColor cc(214, 39, 40), cv(31, 119, 180), shade(255, 242, 195), white(255, 255, 255);
    const int half = static_cast<int>(area.height() / 2);

    const QImage image = plot.grab().toImage();

    const struct
    {
        double t;
        bool cc, cv, on;
    } columns[] = {{0.25, true, false, true},
                   {1.75, false, true, true},
                   {2.75, true, false, false},
                   {3.9, true, false, false}};
    for (const auto &c : columns) {
        EXPECT_EQ(count(image, c.t, near(cc)) > 0, c.cc) << c.t;
        EXPECT_EQ(count(image, c.t, near(cv)) > 0, c.cv) << c.t;
        EXPECT_GT(count(image, c.t, near(c.on ? shade : white)), half) << c.t;
    }

    const auto dark = [](QColor c) { return c.red() + c.green() + c.blue() < 150; };
    EXPECT_EQ(count(image, 2.5, dark), 0);
    plot.setTimeCursor(2500ms);
    EXPECT_GT(count(plot.grab().toImage(), 2.5, dark), half / 2);
    plot.setTimeCursor(std::nullopt);
    EXPECT_EQ(count(plot.grab().toImage(), 2.5, dark), 0);

    // What a screen reader hears of it names each mode's axis with its unit.
    EXPECT_TRUE(plot.accessibleDescription().contains("CC (A), CV (V)"));
}

class RunOnALine : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(app.load());
        platform.boxes.clear();
        form.show();
        path = writeFile("run.csv", "mode,setpoint,input,dwell\nCV,1.00,on,0.2\nCV,2.00,,0.3\n"
                                    ",,off,0\n");
        form.openProgram(QString::fromStdString(path));
        ASSERT_NE(form.programWindow(), nullptr);
    }
    void TearDown() override { std::filesystem::remove(path); }

    QPushButton *button(QWidget *w, const char *name)
    {
        return w->findChild<QPushButton *>(QString::fromLatin1(name));
    }

    // Runs the event loop for a while, noting when each frame arrives and what the display
    // showed then.
    struct Arrival
    {
        SteadyTime at;
        std::string frames;
        QString display;
    };
    std::vector<Arrival> pump(qint64 ms)
    {
        std::vector<Arrival> arrivals;
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < ms) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
            const std::string data = pty.readNow();
            if (!data.empty())
                arrivals.push_back(
                    {runClockNow(), data, form.findChild<QLabel *>("CValue")->text()});
        }
        return arrivals;
    }

    Pty pty;
    FakePlatform platform;
    SerialPortControl comm{PortMap({pty.slavePath()})};
    PanelApp app{platform, comm};
    UIForm &form = app.form();
    std::string path;
};

TEST_F(RunOnALine, StepsGoOutOnScheduleAndThePanelFollows)
{
    QWidget *window = form.programWindow();
    QTest::mouseClick(button(window, "Start"), Qt::LeftButton);
    EXPECT_FALSE(button(&form, "CVCommand")->isEnabled());
    EXPECT_TRUE(button(&form, "OutputCommand")->isEnabled());
    // A click or key on a disabled button sends nothing.
    QTest::mouseClick(button(&form, "EnterCommand"), Qt::LeftButton);
    QTest::keyClick(form.windowHandle(), Qt::Key_Return);
    const auto arrivals = pump(800);

    std::string line;
    for (const Arrival &a : arrivals)
        line += a.frames;
    EXPECT_EQ(line, "6200646600FF6200C866FFFF");
    // Each step goes out at its own time from the run's start, never early, and late by no more
    // than a loaded machine explains (scripts/bench measures the lateness itself). The display
    // shows each step's setpoint when its frame is out.
    const SteadyTime start = programRun(app.panel())->startedAt();
    const struct
    {
        const char *frame;
        int dueMs;
        const char *display;
    } steps[] = {{"620064", 0, "01.00"}, {"6200C8", 200, "02.00"}, {"66FFFF", 500, "02.00"}};
    for (const auto &step : steps) {
        const auto it = std::find_if(arrivals.begin(), arrivals.end(), [&](const Arrival &a) {
            return a.frames.find(step.frame) != std::string::npos;
        });
        ASSERT_NE(it, arrivals.end()) << step.frame;
        const auto late = std::chrono::duration_cast<std::chrono::milliseconds>(
            it->at - (start + std::chrono::milliseconds(step.dueMs)));
        EXPECT_GE(late.count(), -2) << step.frame << " went out early";
        EXPECT_LE(late.count(), 500) << step.frame;
        EXPECT_EQ(it->display, step.display) << step.frame;
    }

    EXPECT_FALSE(programRunning(app.panel()));
    EXPECT_TRUE(button(&form, "CVCommand")->isEnabled());
    EXPECT_EQ(form.findChild<QPushButton *>("OutputCommand")->text(), "Output / OFF");
    EXPECT_EQ(app.panel().state().SentVoltage, 200);
    EXPECT_TRUE(platform.boxes.empty());
}

TEST_F(RunOnALine, OutputStopsTheRunAndClosingThePanelToo)
{
    for (const char *how :
         {"Output", "Escape in the program window", "close panel", "close window"}) {
        QWidget *window = form.programWindow();
        ASSERT_NE(window, nullptr);
        QTest::mouseClick(button(window, "Start"), Qt::LeftButton);
        pump(50);
        EXPECT_EQ(form.findChild<QPushButton *>("OutputCommand")->text(), "Output /ON") << how;
        const std::string h = how;
        if (h == "Output")
            QTest::mouseClick(button(&form, "OutputCommand"), Qt::LeftButton);
        else if (h == "Escape in the program window")
            QTest::keyClick(window->windowHandle(), Qt::Key_Escape);
        else if (h == "close panel")
            form.close();
        else
            window->close();
        // The input is off on the line before anything else happens.
        EXPECT_EQ(pty.readNow(), "66FFFF") << how;
        EXPECT_FALSE(programRunning(app.panel())) << how;
        EXPECT_TRUE(pump(400).empty()) << how << ": nothing more is sent";
        EXPECT_EQ(form.findChild<QPushButton *>("OutputCommand")->text(), "Output / OFF");
        form.openProgram(QString::fromStdString(path));
    }
}

} // namespace
} // namespace rz417::test
