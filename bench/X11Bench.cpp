// The whole program under an X server, driven the way a user drives it: real pointer clicks and
// key presses through XTest, the window's drawing seen through the DAMAGE extension, the frames
// read at the far end of a pseudo-terminal. Port numbers 1 to 15 name devices that do not exist,
// port 16 is the pseudo-terminal.
#include "support/FarEnd.h"
#include "support/ProcStatus.h"
#include "support/ScpiClient.h"
#include "support/Stats.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/extensions/Xdamage.h>
#include <X11/keysym.h>

#include <algorithm>
#include <arpa/inet.h>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <netinet/in.h>
#include <optional>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char **environ;

namespace rz417::bench {
namespace {

using namespace std::chrono_literals;

constexpr int kMissingPorts = 15;
constexpr int kClientHeight = 329; // the window below its menu bar
constexpr int kFrameOffset = 8;    // the group box inside the client area
// How long a measured click holds the button down; the time runs from the release.
constexpr std::chrono::milliseconds kHold{5};

struct Options
{
    std::string binary;
    std::string ctl; // rz417ctl, for the panel's remote control beside serve
    int idnRounds = 9;
    int idnTrips = 5000;
    int presses = 1000;
    int launches = 20;
    int throughputRounds = 5;
    int throughputPresses = 1000;
    int memoryPresses = 100000;
};

[[noreturn]] void fail(const std::string &what)
{
    std::fprintf(stderr, "rz417_bench_x11: %s\n", what.c_str());
    std::exit(2);
}

// A control's rectangle in twips inside the group box.
struct Twips
{
    int left, top, width, height;
};
constexpr Twips kEnter{5520, 3480, 1935, 735};
constexpr Twips kOne{4440, 2520, 855, 735};
constexpr Twips kTwo{5520, 2520, 855, 735};
constexpr Twips kThree{6600, 2520, 855, 735};
constexpr Twips kFour{4440, 1560, 855, 735};
constexpr Twips kCV{2040, 2520, 855, 735};
constexpr Twips kOutput{360, 2520, 1335, 735};
constexpr Twips kDisplay{480, 600, 2295, 975};

int ignoreErrors(Display *, XErrorEvent *)
{
    // Windows of a program that just ended vanish under the bench's requests.
    return 0;
}

class X
{
public:
    X()
    {
        m_dpy = XOpenDisplay(nullptr);
        if (!m_dpy)
            fail("cannot open the X display (DISPLAY unset?)");
        XSetErrorHandler(ignoreErrors);
        int major = 0, minor = 0, eventBase = 0, errorBase = 0;
        if (!XTestQueryExtension(m_dpy, &eventBase, &errorBase, &major, &minor))
            fail("the X server has no XTest");
        if (!XDamageQueryExtension(m_dpy, &m_damageEvent, &errorBase))
            fail("the X server has no DAMAGE");
        XDamageQueryVersion(m_dpy, &major, &minor);
        m_root = DefaultRootWindow(m_dpy);
        XSelectInput(m_dpy, m_root, SubstructureNotifyMask);
        m_netWmName = XInternAtom(m_dpy, "_NET_WM_NAME", False);
        m_utf8 = XInternAtom(m_dpy, "UTF8_STRING", False);
        XSync(m_dpy, False);
    }
    ~X() { XCloseDisplay(m_dpy); }

    Display *dpy() const { return m_dpy; }
    Window root() const { return m_root; }
    bool isDamage(const XEvent &e) const { return e.type == m_damageEvent + XDamageNotify; }

    // The next event, or nothing once the deadline passed.
    std::optional<XEvent> next(Clock::time_point deadline)
    {
        while (!XPending(m_dpy)) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() < 0)
                return std::nullopt;
            pollfd p{ConnectionNumber(m_dpy), POLLIN, 0};
            ::poll(&p, 1, static_cast<int>(left.count()) + 1);
        }
        XEvent e;
        XNextEvent(m_dpy, &e);
        return e;
    }
    void drain()
    {
        while (XPending(m_dpy)) {
            XEvent e;
            XNextEvent(m_dpy, &e);
        }
    }

    std::string name(Window w)
    {
        Atom type = None;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char *data = nullptr;
        std::string text;
        if (XGetWindowProperty(m_dpy, w, m_netWmName, 0, 256, False, m_utf8, &type, &format, &count,
                               &after, &data) == Success &&
            data) {
            text.assign(reinterpret_cast<char *>(data), count);
            XFree(data);
        }
        return text;
    }

    void moveTo(int x, int y)
    {
        XTestFakeMotionEvent(m_dpy, -1, x, y, CurrentTime);
        XSync(m_dpy, False);
    }
    void click()
    {
        button(true);
        button(false);
    }
    void button(bool down)
    {
        XTestFakeButtonEvent(m_dpy, 1, down ? True : False, CurrentTime);
        XFlush(m_dpy);
    }
    void pressReturn()
    {
        const KeyCode code = XKeysymToKeycode(m_dpy, XK_Return);
        XTestFakeKeyEvent(m_dpy, code, True, CurrentTime);
        XTestFakeKeyEvent(m_dpy, code, False, CurrentTime);
        XFlush(m_dpy);
    }
    Window focus()
    {
        Window w = None;
        int revert = 0;
        XGetInputFocus(m_dpy, &w, &revert);
        return w;
    }
    // The window's position on the screen and its size.
    void geometry(Window w, int &x, int &y, unsigned &width, unsigned &height)
    {
        Window rootReturn = None, child = None;
        int wx = 0, wy = 0;
        unsigned border = 0, depth = 0;
        XGetGeometry(m_dpy, w, &rootReturn, &wx, &wy, &width, &height, &border, &depth);
        XTranslateCoordinates(m_dpy, w, m_root, 0, 0, &x, &y, &child);
    }
    std::vector<unsigned long> pixels(Window w, int x, int y, int width, int height)
    {
        std::vector<unsigned long> out;
        XImage *image = XGetImage(m_dpy, w, x, y, static_cast<unsigned>(width),
                                  static_cast<unsigned>(height), AllPlanes, ZPixmap);
        if (!image)
            return out;
        out.reserve(static_cast<std::size_t>(width * height));
        for (int j = 0; j < height; ++j)
            for (int i = 0; i < width; ++i)
                out.push_back(XGetPixel(image, i, j));
        XDestroyImage(image);
        return out;
    }

private:
    Display *m_dpy = nullptr;
    Window m_root = None;
    int m_damageEvent = 0;
    Atom m_netWmName = None;
    Atom m_utf8 = None;
};

struct Launch
{
    double firstBoxMs = 0;   // spawn to the first "Find Com" box on the screen
    double paintedMs = 0;    // spawn to the main window's first drawing
    double answerWaitMs = 0; // time the boxes stood on screen before they took a key
    double mapToPaintMs = 0; // the main window on the screen until its first drawing
    Resident afterStart;
};

// One running panel.
class Panel
{
public:
    // title: the main window's, which says where remote control listens.
    Panel(X &x, const std::string &binary, std::string title = "RZ-417")
        : m_x(x), m_title(std::move(title))
    {
        std::string ports;
        for (int n = 1; n <= kMissingPorts; ++n)
            ports += "/dev/rz417-bench-missing-" + std::to_string(n) + ":";
        ports += m_line.slavePath();
        ::setenv("RZ417_PORTS", ports.c_str(), 1);
        ::setenv("QT_QPA_PLATFORM", "xcb", 1);

        char *argv[] = {const_cast<char *>(binary.c_str()), nullptr};
        m_x.drain();
        m_spawned = Clock::now();
        if (::posix_spawn(&m_pid, binary.c_str(), nullptr, nullptr, argv, environ) != 0)
            fail("cannot start " + binary);
    }
    ~Panel()
    {
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            int status = 0;
            ::waitpid(m_pid, &status, 0);
        }
        for (const auto &d : m_damage)
            XDamageDestroy(m_x.dpy(), d.second);
        XSync(m_x.dpy(), False);
        m_x.drain();
    }

    pid_t pid() const { return m_pid; }
    FarEnd &line() { return m_line; }
    Window window() const { return m_window; }

    // Answers the boxes as soon as each takes keys and waits for the window's first drawing.
    Launch start()
    {
        Launch launch;
        const auto deadline = m_spawned + 20s;
        int boxes = 0;
        Clock::time_point windowMapped;
        while (auto e = m_x.next(deadline)) {
            if (e->type == CreateNotify && e->xcreatewindow.parent == m_x.root()) {
                // Watch every new top-level before it can draw.
                m_damage[e->xcreatewindow.window] =
                    XDamageCreate(m_x.dpy(), e->xcreatewindow.window, XDamageReportRawRectangles);
            } else if (e->type == MapNotify && e->xmap.event == m_x.root()) {
                const Window w = e->xmap.window;
                const std::string title = m_x.name(w);
                if (title == "Electronic Load") {
                    const auto mapped = Clock::now();
                    if (++boxes == 1)
                        launch.firstBoxMs = millisecondsBetween(m_spawned, mapped);
                    answer(w);
                    launch.answerWaitMs += millisecondsBetween(mapped, Clock::now());
                } else if (title.rfind("RZ-417", 0) == 0) {
                    // The title may change after the window shows: remote control starts
                    // listening once the window is up.
                    m_window = w;
                    windowMapped = Clock::now();
                }
            } else if (m_x.isDamage(*e) && m_window != None) {
                const auto *d = reinterpret_cast<const XDamageNotifyEvent *>(&*e);
                if (d->drawable == m_window) {
                    const auto drawn = Clock::now();
                    launch.paintedMs = millisecondsBetween(m_spawned, drawn);
                    launch.mapToPaintMs = millisecondsBetween(windowMapped, drawn);
                    break;
                }
            }
        }
        if (launch.paintedMs == 0)
            fail("the window was not drawn within 20 s (" + std::to_string(boxes) + " boxes)");
        if (boxes != 2)
            fail("start-up showed " + std::to_string(boxes) + " boxes, expected 2");
        const auto titled = Clock::now() + 5s;
        while (m_x.name(m_window) != m_title) {
            if (Clock::now() > titled)
                fail("the window's title is '" + m_x.name(m_window) + "', expected '" + m_title +
                     "'");
            idle(10ms);
        }

        unsigned width = 0, height = 0;
        m_x.geometry(m_window, m_left, m_top, width, height);
        m_menuHeight = static_cast<int>(height) - kClientHeight;
        if (width != 538 || m_menuHeight <= 0)
            fail("unexpected window size " + std::to_string(width) + "x" + std::to_string(height));
        // Let the start-up settle before reading its memory.
        idle(200ms);
        launch.afterStart = residentOf(m_pid);
        return launch;
    }

    // A control's rectangle in window coordinates.
    void rect(const Twips &t, int &x, int &y, int &w, int &h) const
    {
        x = kFrameOffset + t.left / 15;
        y = m_menuHeight + kFrameOffset + t.top / 15;
        w = t.width / 15;
        h = t.height / 15;
    }
    void pointAt(const Twips &t)
    {
        int x, y, w, h;
        rect(t, x, y, w, h);
        m_x.moveTo(m_left + x + w / 2, m_top + y + h / 2);
    }
    void press(const Twips &t)
    {
        pointAt(t);
        m_x.click();
    }

    // Lets the program run undisturbed, throwing away the bench's own events.
    void idle(std::chrono::milliseconds time)
    {
        const auto until = Clock::now() + time;
        while (m_x.next(until)) {
        }
    }

    bool alive()
    {
        int status = 0;
        return ::waitpid(m_pid, &status, WNOHANG) == 0;
    }

private:
    void answer(Window box)
    {
        int x, y;
        unsigned w, h;
        m_x.geometry(box, x, y, w, h);
        m_x.moveTo(x + static_cast<int>(w) / 2, y + static_cast<int>(h) / 2);
        // A key sent before the box holds the focus would go elsewhere.
        const auto until = Clock::now() + 2s;
        while (m_x.focus() != box && Clock::now() < until)
            std::this_thread::sleep_for(100us);
        m_x.pressReturn();
    }

    X &m_x;
    std::string m_title;
    FarEnd m_line;
    pid_t m_pid = -1;
    Clock::time_point m_spawned;
    Window m_window = None;
    std::map<Window, Damage> m_damage;
    int m_left = 0, m_top = 0, m_menuHeight = 0;
};

void clickToLine(X &x, Panel &panel, int presses)
{
    for (const Twips *t : {&kCV, &kOne, &kTwo, &kThree, &kFour}) {
        panel.press(*t);
        panel.idle(20ms);
    }
    panel.idle(50ms);
    panel.line().readNow();

    panel.pointAt(kEnter);
    panel.idle(20ms);
    std::vector<double> latencies;
    for (int i = 0; i < presses; ++i) {
        Clock::time_point last;
        // A click acts on release; the press before it is drawn while the user holds it.
        x.button(true);
        panel.idle(kHold);
        const auto start = Clock::now();
        x.button(false);
        const std::string frame = panel.line().read(6, 1s, &last);
        if (frame != "6204D2")
            fail("Enter press " + std::to_string(i) + " put '" + frame + "' on the line");
        latencies.push_back(millisecondsBetween(start, last));
        panel.idle(3ms);
    }
    printFigure("x11.enter_to_line", summarize(latencies), "ms");
}

void digitToDisplay(X &x, Panel &panel, int presses)
{
    int dx, dy, dw, dh;
    panel.rect(kDisplay, dx, dy, dw, dh);
    panel.pointAt(kOne);
    panel.idle(20ms);
    std::vector<unsigned long> before = x.pixels(panel.window(), dx, dy, dw, dh);
    std::vector<double> latencies;
    int unchanged = 0;
    for (int i = 0; i < presses; ++i) {
        x.button(true);
        panel.idle(kHold);
        const auto start = Clock::now();
        x.button(false);
        const auto deadline = start + 1s;
        bool drawn = false;
        while (auto e = x.next(deadline)) {
            if (!x.isDamage(*e))
                continue;
            const auto *d = reinterpret_cast<const XDamageNotifyEvent *>(&*e);
            const XRectangle &a = d->area;
            if (d->drawable == panel.window() && a.x < dx + dw && a.x + a.width > dx &&
                a.y < dy + dh && a.y + a.height > dy) {
                drawn = true;
                break;
            }
        }
        if (!drawn)
            fail("digit press " + std::to_string(i) + " did not redraw the display within 1 s");
        latencies.push_back(millisecondsBetween(start, Clock::now()));
        panel.idle(3ms);
        std::vector<unsigned long> after = x.pixels(panel.window(), dx, dy, dw, dh);
        if (after == before)
            ++unchanged;
        before = std::move(after);
    }
    if (unchanged > 0)
        fail(std::to_string(unchanged) + " digit presses redrew the display without changing it");
    printFigure("x11.digit_to_display", summarize(latencies), "ms");
}

void throughput(X &x, Panel &panel, int rounds, int presses)
{
    panel.pointAt(kEnter);
    std::vector<double> rates;
    for (int r = 0; r < rounds; ++r) {
        panel.idle(50ms);
        panel.line().readNow();
        const std::size_t expected = static_cast<std::size_t>(presses) * 6;
        Clock::time_point last;
        std::size_t received = 0;
        std::thread reader([&] { received = panel.line().read(expected, 20s, &last).size(); });
        const auto start = Clock::now();
        for (int i = 0; i < presses; ++i) {
            XTestFakeButtonEvent(x.dpy(), 1, True, CurrentTime);
            XTestFakeButtonEvent(x.dpy(), 1, False, CurrentTime);
        }
        XFlush(x.dpy());
        reader.join();
        if (received != expected)
            fail("throughput round lost frames: " + std::to_string(received) + " of " +
                 std::to_string(expected) + " bytes");
        rates.push_back(presses / (millisecondsBetween(start, last) / 1000.0));
    }
    Summary s = summarize(rates);
    s.p99 = percentile(rates, 1); // the slow end of a rate
    printFigure("x11.enter_throughput", s, "frames/s");
}

void memory(X &x, Panel &panel, const Resident &afterStart, int presses)
{
    // One cycle touches a digit, Enter, Output and a mode button: two frames.
    const Twips *cycle[] = {&kOne, &kEnter, &kOutput, &kCV};
    constexpr int kBatch = 100;
    presses = (presses + kBatch - 1) / kBatch * kBatch;
    Resident warm;
    int warmAt = 0;
    std::size_t bytes = 0;
    const auto start = Clock::now();
    for (int done = 0; done < presses;) {
        for (int i = 0; i < kBatch; ++i, ++done)
            panel.press(*cycle[done % 4]);
        // Wait for the batch's frames, like a user who sees each command go out.
        bytes += panel.line().read(static_cast<std::size_t>(done / 2) * 6 - bytes, 5s).size();
        if (bytes != static_cast<std::size_t>(done / 2) * 6)
            fail("memory run: frames missing after " + std::to_string(done) + " presses");
        x.drain();
        if (warmAt == 0 && done >= presses / 10) {
            warm = residentOf(panel.pid());
            warmAt = done;
        }
    }
    const double seconds = millisecondsBetween(start, Clock::now()) / 1000.0;
    panel.idle(300ms);
    if (!panel.alive())
        fail("the panel ended during the memory run");
    const Resident end = residentOf(panel.pid());
    printValue("x11.rss_after_presses", megabytes(end.currentKiB), "MB");
    printValue("x11.peak_after_presses", megabytes(end.peakKiB), "MB");
    printValue("x11.rss_growth", megabytes(end.currentKiB - warm.currentKiB), "MB");
    char note[200];
    std::snprintf(note, sizeof note,
                  "x11 memory run: %d presses in %.0f s; resident %.1f MB after start-up; growth "
                  "measured from press %d",
                  presses, seconds, megabytes(afterStart.currentKiB), warmAt);
    printNote(note);
}

// Where the panel's remote control listens, remembered as File, Remote Control... leaves it;
// nothing for none.
void rememberRemote(int port)
{
    const char *config = std::getenv("XDG_CONFIG_HOME");
    if (!config)
        fail("XDG_CONFIG_HOME is not set: the bench would change this user's settings");
    const std::filesystem::path dir = std::filesystem::path(config) / "QUENDA";
    std::filesystem::create_directories(dir);
    if (port == 0) {
        std::filesystem::remove(dir / "RZ-417.conf");
        return;
    }
    std::ofstream(dir / "RZ-417.conf")
        << "[remote]\naccept=true\naddress=127.0.0.1:" << port << "\n";
}

// A client's CURR to the frame at the far end and to the display's redraw, both from the send,
// with the panel idle between them.
void remoteToLineAndDisplay(X &x, Panel &panel, int port, int count)
{
    int dx, dy, dw, dh;
    panel.rect(kDisplay, dx, dy, dw, dh);
    const int fd = connectTo(port);
    std::vector<double> toLine, toDisplay;
    for (int i = 0; i < count; ++i) {
        panel.idle(3ms);
        panel.line().readNow();
        const int value = 100 + i % 900; // 0.100 to 0.999 A, each unlike the one before
        std::string frame;
        Clock::time_point frameAt;
        std::thread reader([&] { frame = panel.line().read(6, 1s, &frameAt); });
        const auto start = Clock::now();
        sendAll(fd, "CURR 0." + std::to_string(value) + "\n");
        const auto deadline = start + 1s;
        std::optional<Clock::time_point> drawnAt;
        while (auto e = x.next(deadline)) {
            if (!x.isDamage(*e))
                continue;
            const auto *d = reinterpret_cast<const XDamageNotifyEvent *>(&*e);
            const XRectangle &a = d->area;
            if (d->drawable == panel.window() && a.x < dx + dw && a.x + a.width > dx &&
                a.y < dy + dh && a.y + a.height > dy) {
                drawnAt = Clock::now();
                break;
            }
        }
        reader.join();
        if (frame.size() != 6 || frame.compare(0, 2, "67") != 0)
            fail("CURR 0." + std::to_string(value) + " put '" + frame + "' on the line");
        if (!drawnAt)
            fail("CURR 0." + std::to_string(value) + " did not redraw the display within 1 s");
        toLine.push_back(millisecondsBetween(start, frameAt));
        toDisplay.push_back(millisecondsBetween(start, *drawnAt));
    }
    ::close(fd);
    printFigure("remote.curr_to_frame", summarize(toLine), "ms");
    printFigure("remote.curr_to_display", summarize(toDisplay), "ms");
}

// *IDN? round trips with the panel hosting, beside rz417ctl serve's, in alternating rounds on
// one CPU (as the serve bench runs them).
void remoteIdn(Panel &panel, int port, const Options &o)
{
    FarEnd serveLine;
    const Child serve =
        spawnListening({o.ctl, "-p", serveLine.slavePath(), "serve", "--listen", "0"}, true);
    cpu_set_t all, one;
    CPU_ZERO(&all);
    if (::sched_getaffinity(0, sizeof all, &all) != 0)
        fail("could not read the CPU affinity");
    int last = -1;
    for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu)
        if (CPU_ISSET(cpu, &all))
            last = cpu;
    CPU_ZERO(&one);
    CPU_SET(last, &one);
    for (const pid_t pid : {::getpid(), panel.pid(), serve.pid})
        pinProcess(pid, one);
    std::vector<double> panelRates, ratios;
    for (int r = 0; r < o.idnRounds; ++r) {
        const Trips s = idnTrips(serve.port, o.idnTrips);
        const Trips p = idnTrips(port, o.idnTrips);
        panelRates.push_back(p.perSecond);
        ratios.push_back(p.perSecond / s.perSecond);
    }
    for (const pid_t pid : {::getpid(), panel.pid()})
        pinProcess(pid, all);
    stop(serve);
    printFigure("remote.idn_rate", summarize(panelRates), "/s");
    printFigure("remote.idn_rate_ratio", summarize(ratios), "x");
}

int freePort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof addr;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr *>(&addr), &size) != 0)
        fail("no free TCP port");
    ::close(fd);
    return ntohs(addr.sin_port);
}

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
    for (int i = 1; i + 1 < argc; ++i) {
        const std::string key = argv[i];
        const char *value = argv[++i];
        if (key == "--binary")
            o.binary = value;
        else if (key == "--ctl")
            o.ctl = value;
        else if (key == "--idn-rounds")
            o.idnRounds = intArg(value);
        else if (key == "--idn-trips")
            o.idnTrips = intArg(value);
        else if (key == "--presses")
            o.presses = intArg(value);
        else if (key == "--launches")
            o.launches = intArg(value);
        else if (key == "--throughput-rounds")
            o.throughputRounds = intArg(value);
        else if (key == "--memory-presses")
            o.memoryPresses = intArg(value);
        else
            fail("unknown argument " + key);
    }
    if (o.binary.empty())
        fail("usage: rz417_bench_x11 --binary PATH [--presses N] [--launches N] "
             "[--throughput-rounds N] [--memory-presses N] [--ctl RZ417CTL [--idn-rounds N] "
             "[--idn-trips N]]");

    X x;
    std::vector<double> firstBox, painted, answerWait, mapToPaint, peak;
    Launch last;
    for (int i = 1; i < o.launches; ++i) {
        Panel panel(x, o.binary);
        const Launch l = panel.start();
        firstBox.push_back(l.firstBoxMs);
        painted.push_back(l.paintedMs);
        answerWait.push_back(l.answerWaitMs);
        mapToPaint.push_back(l.mapToPaintMs);
        peak.push_back(megabytes(l.afterStart.peakKiB));
    }
    // The last launch stays up for the clicks.
    Panel panel(x, o.binary);
    last = panel.start();
    firstBox.push_back(last.firstBoxMs);
    painted.push_back(last.paintedMs);
    answerWait.push_back(last.answerWaitMs);
    mapToPaint.push_back(last.mapToPaintMs);
    peak.push_back(megabytes(last.afterStart.peakKiB));
    printFigure("x11.first_box", summarize(firstBox), "ms");
    printFigure("x11.first_paint", summarize(painted), "ms");
    printFigure("x11.box_answer_wait", summarize(answerWait), "ms");
    printFigure("x11.map_to_paint", summarize(mapToPaint), "ms");
    printFigure("x11.peak_rss_start", summarize(peak), "MB");

    clickToLine(x, panel, o.presses);
    digitToDisplay(x, panel, o.presses);
    throughput(x, panel, o.throughputRounds, o.throughputPresses);
    memory(x, panel, last.afterStart, o.memoryPresses);

    // The panel as remote interface: a launch of its own, with remote control remembered.
    if (!o.ctl.empty()) {
        const int port = freePort();
        rememberRemote(port);
        Panel remote(x, o.binary, "RZ-417 (remote: 127.0.0.1:" + std::to_string(port) + ")");
        remote.start();
        rememberRemote(0);
        remoteToLineAndDisplay(x, remote, port, o.presses);
        remoteIdn(remote, port, o);
    }
    return 0;
}
