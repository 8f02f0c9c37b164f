// rz417-sim: plays the RZ-417 on a pseudo-terminal, so that the panel can be run and checked
// without the instrument. The panel opens the terminal's slave side; this program reads the
// master side.

#include "LineCheck.h"
#include "MeterServer.h"
#include "Options.h"
#include "Simulator.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {

using rz417::sim::Simulator;

int g_signalPipe[2] = {-1, -1};
volatile std::sig_atomic_t g_signal = 0;

void onSignal(int signal)
{
    g_signal = signal;
    const char byte = 1;
    [[maybe_unused]] const auto n = ::write(g_signalPipe[1], &byte, 1);
}

bool installSignalHandlers()
{
    if (::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return false;
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
    // A reader of our output that goes away is noticed as a failed write, not a signal.
    std::signal(SIGPIPE, SIG_IGN);
    return true;
}

// Waits up to timeoutMs (-1: no limit) for the master or a signal, answering the meter's
// queries meanwhile. Returns the master's events (none when only the meter was asked), or -1 when
// a signal came.
int waitFor(int master, int timeoutMs, rz417::sim::MeterServer &meter,
            const std::function<double()> &volts)
{
    while (true) {
        std::vector<pollfd> fds{{g_signalPipe[0], POLLIN, 0}};
        if (master >= 0)
            fds.push_back({master, POLLIN, 0});
        const std::size_t first = fds.size();
        meter.addTo(fds);
        const int ready = ::poll(fds.data(), fds.size(), timeoutMs);
        if (g_signal != 0 || (ready > 0 && (fds[0].revents & POLLIN) != 0))
            return -1;
        if (ready < 0) {
            if (errno != EINTR)
                return POLLERR;
            continue;
        }
        meter.serve(std::vector<pollfd>(fds.begin() + static_cast<std::ptrdiff_t>(first),
                                        fds.end()),
                    volts);
        return master >= 0 ? fds[1].revents : 0;
    }
}

// The master side reports a hang-up for as long as nobody has the slave side open.
bool slaveOpen(int master)
{
    pollfd fd = {master, POLLIN, 0};
    return ::poll(&fd, 1, 0) >= 0 && ((fd.revents & POLLIN) != 0 || (fd.revents & POLLHUP) == 0);
}

rz417::sim::LineSettings readLineSettings(int master)
{
    // On Linux the master side reads back the attributes that the slave's user set.
    termios attributes = {};
    if (::tcgetattr(master, &attributes) != 0)
        return {};
    return rz417::sim::lineSettings(attributes);
}

bool print(const std::vector<std::string> &lines)
{
    for (const std::string &line : lines) {
        if (std::fputs(line.c_str(), stdout) == EOF || std::fputc('\n', stdout) == EOF)
            return false;
    }
    return std::fflush(stdout) == 0;
}

int millisUntil(Simulator::SteadyTime deadline)
{
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    // One millisecond past the deadline, since only a pause longer than the timeout counts.
    return static_cast<int>(std::max<long long>(0, left.count()) + 1);
}

class Link
{
public:
    Link(std::string path, std::string target)
        : m_path(std::move(path)), m_target(std::move(target))
    {
    }
    ~Link()
    {
        // Only our own link goes: another simulator may have taken the path over since.
        char buffer[4096];
        const ssize_t n = ::readlink(m_path.c_str(), buffer, sizeof buffer);
        if (n >= 0 && std::string(buffer, static_cast<std::size_t>(n)) == m_target)
            ::unlink(m_path.c_str());
    }
    Link(const Link &) = delete;
    Link &operator=(const Link &) = delete;

    // A stale link from an earlier run is replaced; anything else at the path is left alone.
    bool create(std::string &error)
    {
        if (::symlink(m_target.c_str(), m_path.c_str()) == 0)
            return true;
        struct stat info = {};
        if (errno == EEXIST && ::lstat(m_path.c_str(), &info) == 0 && S_ISLNK(info.st_mode) &&
            ::unlink(m_path.c_str()) == 0 && ::symlink(m_target.c_str(), m_path.c_str()) == 0)
            return true;
        error = "cannot make " + m_path + " a link to " + m_target + ": " + std::strerror(errno);
        return false;
    }

private:
    std::string m_path;
    std::string m_target;
};

// The master side of a new pseudo-terminal, non-blocking, its slave's name in `slave`; -1 after
// a message.
int openMaster(std::string &slave)
{
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) {
        std::fprintf(stderr, "rz417-sim: cannot create a pseudo-terminal: %s\n",
                     std::strerror(errno));
        return -1;
    }
    const char *slaveName = ::ptsname(master);
    if (slaveName == nullptr) {
        std::fprintf(stderr, "rz417-sim: no name for the pseudo-terminal: %s\n",
                     std::strerror(errno));
        return -1;
    }
    slave = slaveName;
    ::fcntl(master, F_SETFL, O_NONBLOCK);
    // The master reports a hang-up only once the slave has been opened and closed again; without
    // this it would look as if the panel were already there.
    const int slaveFd = ::open(slave.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slaveFd >= 0)
        ::close(slaveFd);
    return master;
}

// The link --link asks for, if any; false after a message.
bool linkSlave(const std::string &path, const std::string &slave, std::optional<Link> &link)
{
    if (path.empty())
        return true;
    link.emplace(path, slave);
    std::string error;
    if (!link->create(error)) {
        link.reset();
        std::fprintf(stderr, "rz417-sim: %s\n", error.c_str());
        return false;
    }
    return true;
}

// The meter --meter asks for, if any; false after a message.
bool listenMeter(const std::string &where, rz417::sim::MeterServer &meter)
{
    if (where.empty())
        return true;
    std::string error;
    if (!meter.listen(where, error)) {
        std::fprintf(stderr, "rz417-sim: %s\n", error.c_str());
        return false;
    }
    std::printf("meter: %s\n", meter.where().c_str());
    std::fflush(stdout);
    return true;
}

// The line to the panel, as connections come and go, until a signal or a failed print ends it.
class LineSession
{
public:
    LineSession(int master, Simulator &simulator, rz417::sim::MeterServer &meter)
        : m_master(master), m_simulator(simulator), m_meter(meter)
    {
    }
    LineSession(const LineSession &) = delete;
    LineSession &operator=(const LineSession &) = delete;

    void serve()
    {
        while (m_ok) {
            const Step step = awaitPanel();
            if (step == Step::Stop)
                break;
            if (step == Step::Again)
                continue;
            if (!serveOnce())
                break;
        }
    }

    // A signal ends the run, but what the panel wrote before it still counts, and so does the
    // panel having gone: the demo stops the simulator right after the panel ends.
    void finish()
    {
        if (m_ok && m_connected) {
            ssize_t n = 0;
            while (m_ok && (n = ::read(m_master, m_buffer, sizeof m_buffer)) > 0)
                m_ok = report(n);
            if (m_ok && !slaveOpen(m_master))
                m_ok = print(m_simulator.closed(std::chrono::system_clock::now()));
        }
        if (m_ok) {
            print(m_simulator.stopped(std::chrono::system_clock::now(),
                                      g_signal == SIGINT ? "SIGINT" : "SIGTERM"));
        }
    }

private:
    enum class Step { Stop, Again, Go };

    bool report(ssize_t n)
    {
        return print(m_simulator.received(
            std::string_view(m_buffer, static_cast<std::size_t>(n)), readLineSettings(m_master),
            std::chrono::steady_clock::now(), std::chrono::system_clock::now()));
    }

    // A meter reads the terminals as the load is now: what the line brought first counts.
    double volts()
    {
        ssize_t n = 0;
        while (m_ok && m_connected && (n = ::read(m_master, m_buffer, sizeof m_buffer)) > 0)
            m_ok = report(n);
        return m_simulator.terminalVolts(std::chrono::steady_clock::now());
    }

    Step awaitPanel()
    {
        if (m_connected)
            return Step::Go;
        if (!slaveOpen(m_master)) {
            // Nothing to read until the panel opens the slave; look again shortly.
            return waitFor(-1, 20, m_meter, m_volts) < 0 ? Step::Stop : Step::Again;
        }
        m_connected = true;
        m_ok = print(m_simulator.opened(std::chrono::system_clock::now()));
        return Step::Go;
    }

    // One wait for the panel: what it wrote, then what the time alone brings, then its going.
    // False when a signal came.
    bool serveOnce()
    {
        const auto deadline = m_simulator.deadline();
        const int events =
            waitFor(m_master, deadline ? millisUntil(*deadline) : -1, m_meter, m_volts);
        if (events < 0)
            return false;
        bool hungUp = (events & (POLLHUP | POLLERR)) != 0 && (events & POLLIN) == 0;
        if ((events & POLLIN) != 0) {
            const ssize_t n = ::read(m_master, m_buffer, sizeof m_buffer);
            if (n > 0) {
                m_ok = report(n);
            } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
                hungUp = true; // EIO: the last user of the slave side closed it
            }
        }
        if (m_ok)
            m_ok = print(m_simulator.idle(std::chrono::steady_clock::now(),
                                          std::chrono::system_clock::now()));
        if (m_ok && hungUp) {
            m_connected = false;
            m_ok = print(m_simulator.closed(std::chrono::system_clock::now()));
        }
        return true;
    }

    int m_master;
    Simulator &m_simulator;
    rz417::sim::MeterServer &m_meter;
    bool m_connected = false;
    bool m_ok = true;
    char m_buffer[4096];
    const std::function<double()> m_volts = [this] { return volts(); };
};

int run(const rz417::sim::Options &options)
{
    std::string slave;
    const int master = openMaster(slave);
    if (master < 0)
        return 1;
    std::optional<Link> link;
    if (!linkSlave(options.link, slave, link))
        return 1;

    std::printf("port: %s\n", slave.c_str());
    std::fflush(stdout);

    Simulator simulator(options.source, options.jsonl);
    if (options.battery)
        simulator.useBattery(*options.battery, std::chrono::steady_clock::now());
    if (options.supply)
        simulator.useSupply(*options.supply, std::chrono::steady_clock::now());
    if (options.pv)
        simulator.useSolarCell(*options.pv);
    rz417::sim::MeterServer meter;
    if (!listenMeter(options.meter, meter))
        return 1;
    LineSession session(master, simulator, meter);
    session.serve();
    session.finish();
    ::close(master);
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    rz417::sim::Options options;
    std::string error;
    if (!rz417::sim::parseOptions(std::vector<std::string>(argv + 1, argv + argc), options,
                                  error)) {
        std::fprintf(stderr, "rz417-sim: %s\n%s", error.c_str(), rz417::sim::usageText().c_str());
        return 2;
    }
    if (options.help) {
        std::fputs(rz417::sim::usageText().c_str(), stdout);
        return 0;
    }
    if (!installSignalHandlers()) {
        std::fprintf(stderr, "rz417-sim: cannot set up signal handling: %s\n",
                     std::strerror(errno));
        return 1;
    }
    return run(options);
}
