// The window in-process under the offscreen platform, its serial control on a pseudo-terminal:
// click to the frame at the far end, click to the display repainted, Enter as fast as it goes,
// presses on a stalled line, resident memory over many presses, a 100,000-step program opened in
// the program window, and a battery test in the battery window against a meter of the bench's own.
#include "panel/PanelRuns.h"
#include "serial/SerialPortControl.h"
#include "support/BenchMeter.h"
#include "support/Doubles.h"
#include "support/FarEnd.h"
#include "support/ProcStatus.h"
#include "support/Stats.h"
#include "window/MeasuredWindow.h"
#include "window/PanelApp.h"
#include "window/ProgramPlot.h"
#include "window/ProgramWindow.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <thread>
#include <unistd.h>

namespace rz417::bench {
namespace {

using namespace std::chrono_literals;

// How long a measured click holds the button down; the time runs from the release.
constexpr std::chrono::milliseconds kHold{5};

struct Options
{
    int presses = 1000;
    int throughputRounds = 20;
    int throughputPresses = 500;
    int stalledPresses = 5;
    int memoryPresses = 100000;
    int programOpens = 10;
    int programSteps = 2000;
    int batteryReadings = 100;
};

[[noreturn]] void fail(const std::string &what)
{
    std::fprintf(stderr, "rz417_bench_window: %s\n", what.c_str());
    std::exit(2);
}

// Tells when a widget has been painted.
class PaintWatch : public QObject
{
public:
    explicit PaintWatch(QWidget *widget) { widget->installEventFilter(this); }
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            painted = true;
        return false;
    }
    bool painted = false;
};

// Passes everything to the real control and notes when a write starts and ends, so that the
// click-to-line time can be split into what happens before the panel writes and the write.
class WriteClock : public CommControl
{
public:
    explicit WriteClock(CommControl &inner) : m_inner(inner) {}
    void setCommPort(int16_t port) override { m_inner.setCommPort(port); }
    void setSettings(const std::string &settings) override { m_inner.setSettings(settings); }
    void setPortOpen(bool open) override { m_inner.setPortOpen(open); }
    void setOutput(const std::string &data) override
    {
        started = Clock::now();
        m_inner.setOutput(data);
        finished = Clock::now();
    }

    Clock::time_point started;
    Clock::time_point finished;

private:
    CommControl &m_inner;
};

class WindowBench
{
public:
    explicit WindowBench(bool opaqueButtons)
    {
        if (!app.load() || platform.boxes.size() != 2)
            fail("start-up did not accept the pseudo-terminal");
        platform.boxes.clear();
        // An experiment, not the panel as shipped: buttons that fill their own background spare
        // Qt the repaint of the frame behind them when a click is released.
        if (opaqueButtons)
            for (auto *b : form.findChildren<QPushButton *>())
                b->setAutoFillBackground(true);
        form.show();
        if (!QTest::qWaitForWindowExposed(&form))
            fail("the window was never exposed");
        settle(50ms);
    }

    void clickToLine(int presses)
    {
        // CV 12.34: every Enter then sends 6204D2.
        for (const char *name :
             {"CVCommand", "OneCommand", "TwoCommand", "ThreeCommand", "FourCommand"})
            QTest::mouseClick(button(name), Qt::LeftButton);
        settle(20ms);
        line.readNow();

        QPushButton *enter = button("EnterCommand");
        std::vector<double> latencies, beforeWrite, write;
        for (int i = 0; i < presses; ++i) {
            Clock::time_point last;
            // A click acts on release; the press before it is drawn while the user holds it.
            QTest::mousePress(enter, Qt::LeftButton);
            settle(kHold);
            const auto start = Clock::now();
            QTest::mouseRelease(enter, Qt::LeftButton);
            const std::string frame = line.read(6, 1s, &last);
            if (frame != "6204D2")
                fail("press " + std::to_string(i) + " put '" + frame + "' on the line");
            latencies.push_back(millisecondsBetween(start, last));
            beforeWrite.push_back(millisecondsBetween(start, clock.started));
            write.push_back(millisecondsBetween(clock.started, clock.finished));
            settle(2ms);
        }
        printFigure("offscreen.enter_to_line", summarize(latencies), "ms");
        printFigure("offscreen.release_to_write", summarize(beforeWrite), "ms");
        printFigure("offscreen.write", summarize(write), "ms");
    }

    void digitToDisplay(int presses)
    {
        QLabel *display = form.findChild<QLabel *>(QStringLiteral("CValue"));
        QPushButton *one = button("OneCommand");
        PaintWatch watch(display);
        std::vector<double> latencies;
        for (int i = 0; i < presses; ++i) {
            const QString before = display->text();
            QTest::mousePress(one, Qt::LeftButton);
            settle(kHold);
            watch.painted = false;
            const auto start = Clock::now();
            QTest::mouseRelease(one, Qt::LeftButton);
            const auto deadline = start + 1s;
            while (!watch.painted && Clock::now() < deadline)
                QCoreApplication::processEvents();
            const auto painted = Clock::now();
            if (!watch.painted)
                fail("the display was not repainted within 1 s");
            if (display->text() == before)
                fail("a digit left the display at " + before.toStdString());
            latencies.push_back(millisecondsBetween(start, painted));
            settle(2ms);
        }
        printFigure("offscreen.digit_to_display", summarize(latencies), "ms");
    }

    void throughput(int rounds, int presses)
    {
        QPushButton *enter = button("EnterCommand");
        std::vector<double> rates;
        for (int r = 0; r < rounds; ++r) {
            settle(5ms);
            line.readNow();
            const std::size_t expected = static_cast<std::size_t>(presses) * 6;
            Clock::time_point last;
            std::size_t received = 0;
            std::thread reader([&] { received = line.read(expected, 10s, &last).size(); });
            const auto start = Clock::now();
            for (int i = 0; i < presses; ++i) {
                QTest::mouseClick(enter, Qt::LeftButton);
                QCoreApplication::processEvents();
            }
            reader.join();
            if (received != expected)
                fail("throughput round lost frames: " + std::to_string(received) + " of " +
                     std::to_string(expected) + " bytes");
            rates.push_back(presses / (millisecondsBetween(start, last) / 1000.0));
        }
        // The slow end of a rate is its low percentile: report the rate 99 % of rounds beat.
        Summary s = summarize(rates);
        s.p99 = percentile(rates, 1);
        printFigure("offscreen.enter_throughput", s, "frames/s");
    }

    void stalledLine(int presses)
    {
        QPushButton *enter = button("EnterCommand");
        settle(5ms);
        line.readNow();
        // The frame Enter sends now; it must go out again once the line moves.
        QTest::mouseClick(enter, Qt::LeftButton);
        const std::string reference = line.read(6, 1s);
        line.stall(true);
        std::vector<double> blocked;
        for (int i = 0; i < presses; ++i) {
            platform.boxes.clear();
            const auto start = Clock::now();
            QTest::mouseClick(enter, Qt::LeftButton);
            blocked.push_back(millisecondsBetween(start, Clock::now()));
            if (platform.boxes.size() != 1)
                fail("a press on a stalled line showed " + std::to_string(platform.boxes.size()) +
                     " boxes");
            settle(2ms);
        }
        const std::string errorText = platform.boxes.front();
        line.stall(false);
        settle(20ms);
        line.readNow();
        // The line recovers: the next press goes out whole.
        platform.boxes.clear();
        QTest::mouseClick(enter, Qt::LeftButton);
        const std::string after = line.read(6, 1s);
        if (reference.size() != 6 || after != reference)
            fail("the line did not recover after the stall: '" + after + "', boxes " +
                 std::to_string(platform.boxes.size()) +
                 (platform.boxes.empty() ? "" : " " + platform.boxes.front()));
        printFigure("offscreen.stalled_press", summarize(blocked), "ms");
        printNote("stalled line: each press reported \"" + errorText + "\"");
    }

    void memory(int presses)
    {
        presses = (presses + 3) / 4 * 4; // whole cycles
        const Resident atStart = residentOfSelf();
        // One cycle touches a digit, Enter, Output and a mode button.
        const std::array<QPushButton *, 4> cycle{button("OneCommand"), button("EnterCommand"),
                                                 button("OutputCommand"), button("CVCommand")};
        Resident warm;
        std::size_t bytes = 0;
        for (int i = 0; i < presses; ++i) {
            QTest::mouseClick(cycle[static_cast<std::size_t>(i) % cycle.size()], Qt::LeftButton);
            if (i % 100 == 99) {
                QCoreApplication::processEvents();
                bytes += line.readNow().size();
            }
            if (i + 1 == presses / 10)
                warm = residentOfSelf();
        }
        settle(20ms);
        bytes += line.readNow().size();
        const Resident end = residentOfSelf();
        const std::size_t expected = static_cast<std::size_t>(presses / 2) * 6;
        if (bytes != expected)
            fail("memory run: " + std::to_string(bytes) + " bytes on the line, expected " +
                 std::to_string(expected));
        printValue("offscreen.rss_start", megabytes(atStart.currentKiB), "MB");
        printValue("offscreen.rss_after_presses", megabytes(end.currentKiB), "MB");
        printValue("offscreen.rss_growth", megabytes(end.currentKiB - warm.currentKiB), "MB");
        printValue("offscreen.peak_after_presses", megabytes(end.peakKiB), "MB");
        printNote("offscreen memory run: " + std::to_string(presses) +
                  " presses; growth is measured from press " + std::to_string(presses / 10));
    }

    // File, Run Program... on the longest file a program may be, until its plot is painted,
    // then the cursor moved as a run moves it. Its steps change the mode and the input at
    // random, so that every pixel column of the plot holds hundreds of them.
    void programWindow(int opens)
    {
        const std::string path = (std::filesystem::temp_directory_path() /
                                  ("rz417-bench-" + std::to_string(::getpid()) + ".csv"))
                                     .string();
        {
            std::ofstream file(path);
            file << "mode,setpoint,input,dwell\n";
            unsigned seed = 1;
            for (int i = 0; i < 100000; ++i) {
                seed = seed * 1103515245u + 12345u;
                const unsigned r = seed >> 8;
                file << (r % 3 == 0 ? "CV," : "CC,") << r % 15 << "." << r % 10
                     << (r % 7 == 0    ? ",on,"
                         : r % 11 == 0 ? ",off,"
                                       : ",,")
                     << "0.05\n";
            }
        }
        std::vector<double> toPaint, cursor;
        for (int i = 0; i < opens; ++i) {
            const auto start = Clock::now();
            form.openProgram(QString::fromStdString(path));
            ProgramWindow *window = form.programWindow();
            auto *plot = window ? window->findChild<ProgramPlot *>() : nullptr;
            if (!plot)
                fail("the program window did not open");
            if (!window->findChild<QPushButton *>(QStringLiteral("Start"))->isEnabled())
                fail("the program file was refused: " +
                     window->findChild<QLabel *>(QStringLiteral("Status"))->text().toStdString());
            PaintWatch watch(plot);
            const auto deadline = start + 10s;
            while (!watch.painted && Clock::now() < deadline)
                QCoreApplication::processEvents();
            if (!watch.painted)
                fail("the program plot was not painted within 10 s");
            toPaint.push_back(millisecondsBetween(start, Clock::now()));

            for (int step = 1; step <= 20; ++step) {
                watch.painted = false;
                const auto moved = Clock::now();
                plot->setTimeCursor(std::chrono::milliseconds(step * 200000));
                plot->repaint();
                if (!watch.painted)
                    fail("the cursor was not painted");
                cursor.push_back(millisecondsBetween(moved, Clock::now()));
            }
            window->close();
            settle(5ms);
        }
        std::filesystem::remove(path);
        printFigure("offscreen.program_open", summarize(toPaint), "ms");
        printFigure("offscreen.program_cursor", summarize(cursor), "ms");
    }

    // Step start lateness of a program run from the window, as rz417ctl's is measured: each
    // step's frame at the far end against its due time from the run's own start.
    void programLateness(int steps)
    {
        const std::string path = (std::filesystem::temp_directory_path() /
                                  ("rz417-bench-late-" + std::to_string(::getpid()) + ".csv"))
                                     .string();
        {
            std::ofstream file(path);
            file << "mode,setpoint,input,dwell\n";
            for (int k = 0; k < steps; ++k)
                file << (k % 2 == 0 ? "CC,0.500,,0.010\n" : "CC,0.600,,0.010\n");
        }
        form.openProgram(QString::fromStdString(path));
        ProgramWindow *window = form.programWindow();
        if (!window)
            fail("the program window did not open");
        settle(50ms);
        line.readNow();
        std::vector<Clock::time_point> arrival;
        std::thread reader([&] {
            std::string pending;
            while (static_cast<int>(arrival.size()) < steps) {
                Clock::time_point at;
                const std::string data = line.read(6, 5000ms, &at);
                if (data.empty())
                    return;
                pending += data;
                for (; pending.size() >= 6; pending.erase(0, 6))
                    arrival.push_back(at);
            }
        });
        QTest::mouseClick(window->findChild<QPushButton *>(QStringLiteral("Start")),
                          Qt::LeftButton);
        const auto *panelRun = dynamic_cast<const ProgramPanelRun *>(app.panel().run());
        const ProgramRun *run = panelRun ? &panelRun->run() : nullptr;
        if (!run)
            fail("the program did not start");
        const SteadyTime start = run->startedAt();
        // The event loop sleeps between the steps, as it does for a user.
        QEventLoop loop;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
            if (!app.panel().runActive())
                loop.quit();
        });
        poll.start(50);
        loop.exec();
        reader.join();
        window->close();
        std::filesystem::remove(path);
        if (static_cast<int>(arrival.size()) != steps)
            fail("program lateness: " + std::to_string(arrival.size()) + " of " +
                 std::to_string(steps) + " frames arrived");
        std::vector<double> late;
        for (int k = 0; k < steps; ++k)
            late.push_back(millisecondsBetween(start + std::chrono::milliseconds(10 * k),
                                               arrival[static_cast<std::size_t>(k)]));
        printFigure("offscreen.program_lateness", summarize(late), "ms");
    }

    // A test from the battery window, readings 0.2 s apart: each query's lateness at the meter
    // against the test's absolute schedule, and the cut-off's second reading to 66FFFF at the
    // far end.
    void batteryWindow(int readings)
    {
        constexpr double kIntervalMs = 200;
        int port = 0;
        const int listener = listenLoopback(port);
        BenchMeter meter;
        meter.highCount = readings;
        std::thread server([&] { meter.serve(listener); });
        form.openMeasured();
        MeasuredWindow *window = form.measuredWindow();
        const auto set = [window](const char *field, const QString &text) {
            window->findChild<QLineEdit *>(QString::fromLatin1(field))->setText(text);
        };
        set("Value", QStringLiteral("0.5"));
        set("Cutoff", QStringLiteral("3.0"));
        set("Time", QString());
        set("Meter", QStringLiteral("127.0.0.1:%1").arg(port));
        set("Interval", QStringLiteral("0.2"));
        set("Log", QString());
        settle(50ms);
        line.readNow();
        std::string frames, off;
        Clock::time_point offAt;
        std::thread reader([&] {
            frames = line.read(12, 10000ms);
            off = line.read(6, 60000ms, &offAt);
        });
        QTest::mouseClick(window->findChild<QPushButton *>(QStringLiteral("Start")),
                          Qt::LeftButton);
        // The event loop sleeps between the readings, as it does for a user.
        QEventLoop loop;
        QTimer poll;
        bool started = false;
        QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
            started = started || app.panel().runActive();
            if (started && !app.panel().runActive())
                loop.quit();
        });
        poll.start(50);
        loop.exec();
        reader.join();
        server.join();
        ::close(listener);
        window->close();
        if (frames != "6701F46600FF" || off != "66FFFF")
            fail("battery window: the line had '" + frames + off + "'");
        printFigure("offscreen.battery_reading_lateness",
                    summarize(scheduleLateness(meter.queries, kIntervalMs)), "ms");
        printFigure("offscreen.battery_cutoff_to_off",
                    summarize({millisecondsBetween(meter.secondLowSent, offAt)}), "ms");
    }

private:
    QPushButton *button(const char *name)
    {
        auto *b = form.findChild<QPushButton *>(QString::fromLatin1(name));
        if (!b)
            fail(std::string("no button ") + name);
        return b;
    }

    // Lets the event loop run, as between a user's clicks.
    static void settle(std::chrono::milliseconds time)
    {
        const auto until = Clock::now() + time;
        do {
            QCoreApplication::processEvents();
            std::this_thread::sleep_for(100us);
        } while (Clock::now() < until);
    }

    FarEnd line;
    InstantPlatform platform;
    SerialPortControl comm{PortMap({line.slavePath()})};
    WriteClock clock{comm};
    PanelApp app{platform, clock};
    UIForm &form = app.form();
};

int intArg(const char *value)
{
    return std::max(1, std::atoi(value));
}

} // namespace
} // namespace rz417::bench

int main(int argc, char **argv)
{
    using namespace rz417::bench;
    Options o;
    bool opaqueButtons = false;
    for (int i = 1; i < argc; ++i) {
        const bool hasValue = i + 1 < argc;
        if (!std::strcmp(argv[i], "--opaque-buttons"))
            opaqueButtons = true;
        else if (!std::strcmp(argv[i], "--presses") && hasValue)
            o.presses = intArg(argv[++i]);
        else if (!std::strcmp(argv[i], "--throughput-rounds") && hasValue)
            o.throughputRounds = intArg(argv[++i]);
        else if (!std::strcmp(argv[i], "--memory-presses") && hasValue)
            o.memoryPresses = intArg(argv[++i]);
        else if (!std::strcmp(argv[i], "--program-opens") && hasValue)
            o.programOpens = intArg(argv[++i]);
        else if (!std::strcmp(argv[i], "--battery-readings") && hasValue)
            o.batteryReadings = intArg(argv[++i]);
        else
            fail(std::string("unknown argument ") + argv[i]);
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // What the windows remember goes to a test location, never the user's settings.
    QStandardPaths::setTestModeEnabled(true);
    QApplication app(argc, argv);
    WindowBench bench(opaqueButtons);
    bench.clickToLine(o.presses);
    bench.digitToDisplay(o.presses);
    bench.throughput(o.throughputRounds, o.throughputPresses);
    bench.stalledLine(o.stalledPresses);
    bench.memory(o.memoryPresses);
    bench.programWindow(o.programOpens);
    bench.programLateness(o.programSteps);
    bench.batteryWindow(o.batteryReadings);
    return 0;
}
