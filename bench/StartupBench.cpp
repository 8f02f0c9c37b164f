// Start-up of a fresh process: from the spawn to the window's first paint, with port numbers 1
// to 15 naming devices that do not exist and port 16 a pseudo-terminal. The boxes are answered
// in-process the moment they are asked, so the figure is the program's own time.
//
// Run without arguments it is the parent: it spawns itself with --child repeatedly and prints
// the figures. The child runs the panel's start-up as main() does, with the instant user.
#include "serial/HostPorts.h"
#include "serial/SerialPortControl.h"
#include "support/Doubles.h"
#include "support/FarEnd.h"
#include "support/ProcStatus.h"
#include "support/Stats.h"
#include "window/PanelApp.h"

#include <QApplication>
#include <QLabel>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace rz417::bench {
namespace {

constexpr int kMissingPorts = 15;

// CLOCK_MONOTONIC is the same clock in the parent and the child.
double monotonicMs()
{
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

// Passes everything to the real control and notes when the scan reaches the last port number,
// which is when the missing devices have all been tried.
class ScanClock : public CommControl
{
public:
    explicit ScanClock(CommControl &inner) : m_inner(inner) {}
    void setCommPort(int16_t port) override
    {
        if (port == kMissingPorts + 1 && reachedLastAt == 0)
            reachedLastAt = monotonicMs();
        m_inner.setCommPort(port);
    }
    void setSettings(const std::string &settings) override { m_inner.setSettings(settings); }
    void setPortOpen(bool open) override { m_inner.setPortOpen(open); }
    void setOutput(const std::string &data) override { m_inner.setOutput(data); }

    double reachedLastAt = 0;

private:
    CommControl &m_inner;
};

class FirstPaint : public QObject
{
public:
    explicit FirstPaint(QWidget *widget) { widget->installEventFilter(this); }
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && !m_seen) {
            m_seen = true;
            // Runs once the paint that is under way has been flushed to the window.
            QTimer::singleShot(0, [this] { done(); });
        }
        return false;
    }
    std::function<void()> done;

private:
    bool m_seen = false;
};

int child(int argc, char **argv)
{
    const double atMain = monotonicMs();
    QApplication app(argc, argv);
    const double appReady = monotonicMs();

    SerialPortControl serial(hostPortMap());
    ScanClock comm(serial);
    InstantPlatform platform;
    PanelApp panelApp(platform, comm);
    UIForm &form = panelApp.form();

    const double loadStart = monotonicMs();
    const bool loaded = panelApp.load();
    const double loadEnd = monotonicMs();
    const std::vector<std::string> expected{"Find Com 16, Using it?", "Using COM16:"};
    if (!loaded || platform.boxes != expected) {
        std::fprintf(stderr, "start-up did not find the device at port 16\n");
        return 2;
    }

    FirstPaint paint(form.findChild<QLabel *>(QStringLiteral("CValue")));
    paint.done = [&] {
        const double painted = monotonicMs();
        const Resident r = residentOfSelf();
        std::printf("%.4f %.4f %.4f %.4f %.4f %.4f %ld\n", atMain, appReady, loadStart,
                    comm.reachedLastAt, loadEnd, painted, r.peakKiB);
        std::fflush(stdout);
        QCoreApplication::quit();
    };
    form.show();
    return QApplication::exec();
}

int parent(const char *self, int runs)
{
    std::vector<double> toMain, toPaint, scan, load, peak;
    for (int run = 0; run < runs; ++run) {
        FarEnd line;
        std::string ports;
        for (int n = 1; n <= kMissingPorts; ++n)
            ports += "/dev/rz417-bench-missing-" + std::to_string(n) + ":";
        ports += line.slavePath();
        ::setenv("RZ417_PORTS", ports.c_str(), 1);

        int out[2];
        if (::pipe(out) != 0)
            return 2;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        char *childArgv[] = {const_cast<char *>(self), const_cast<char *>("--child"), nullptr};
        pid_t pid = 0;
        const double spawned = monotonicMs();
        if (::posix_spawn(&pid, self, &actions, nullptr, childArgv, environ) != 0) {
            std::fprintf(stderr, "cannot start %s\n", self);
            return 2;
        }
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        std::string text;
        char buffer[512];
        ssize_t n;
        while ((n = ::read(out[0], buffer, sizeof buffer)) > 0)
            text.append(buffer, static_cast<std::size_t>(n));
        ::close(out[0]);
        int status = 0;
        ::waitpid(pid, &status, 0);

        std::istringstream in(text);
        double atMain = 0, appReady = 0, loadStart = 0, lastPort = 0, loadEnd = 0, painted = 0;
        long peakKiB = 0;
        if (!(in >> atMain >> appReady >> loadStart >> lastPort >> loadEnd >> painted >> peakKiB) ||
            !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            std::fprintf(stderr, "start-up run %d failed (status %d)\n", run, status);
            return 2;
        }
        toMain.push_back(atMain - spawned);
        toPaint.push_back(painted - spawned);
        scan.push_back(lastPort - loadStart);
        load.push_back(loadEnd - loadStart);
        peak.push_back(megabytes(peakKiB));
    }
    printFigure("startup.first_paint", summarize(toPaint), "ms");
    printFigure("startup.to_main", summarize(toMain), "ms");
    printFigure("startup.scan_missing", summarize(scan), "ms");
    printFigure("startup.form_load", summarize(load), "ms");
    printFigure("startup.peak_rss", summarize(peak), "MB");
    return 0;
}

} // namespace
} // namespace rz417::bench

int main(int argc, char **argv)
{
    if (argc > 1 && !std::strcmp(argv[1], "--child"))
        return rz417::bench::child(argc, argv);
    int runs = 30;
    if (argc > 2 && !std::strcmp(argv[1], "--runs"))
        runs = std::max(1, std::atoi(argv[2]));
    char self[4096] = {};
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0)
        return 2;
    return rz417::bench::parent(self, runs);
}
