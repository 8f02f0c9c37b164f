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

int run(const rz417::sim::Options &options)
{
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) {
        std::fprintf(stderr, "rz417-sim: cannot create a pseudo-terminal: %s\n",
                     std::strerror(errno));
        return 1;
    }
    const char *slaveName = ::ptsname(master);
    if (slaveName == nullptr) {
        std::fprintf(stderr, "rz417-sim: no name for the pseudo-terminal: %s\n",
                     std::strerror(errno));
        return 1;
    }
    const std::string slave = slaveName;
    ::fcntl(master, F_SETFL, O_NONBLOCK);
    // The master reports a hang-up only once the slave has been opened and closed again; without
    // this it would look as if the panel were already there.
    const int slaveFd = ::open(slave.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slaveFd >= 0)
        ::close(slaveFd);

    std::optional<Link> link;
    if (!options.link.empty()) {
        link.emplace(options.link, slave);
        std::string error;
        if (!link->create(error)) {
            link.reset();
            std::fprintf(stderr, "rz417-sim: %s\n", error.c_str());
            return 1;
        }
    }

    std::printf("port: %s\n", slave.c_str());
    std::fflush(stdout);

    Simulator simulator(options.source, options.jsonl);
    if (options.battery)
        simulator.useBattery(*options.battery, std::chrono::steady_clock::now());
    rz417::sim::MeterServer meter;
    if (!options.meter.empty()) {
        std::string error;
        if (!meter.listen(options.meter, error)) {
            std::fprintf(stderr, "rz417-sim: %s\n", error.c_str());
            return 1;
        }
        std::printf("meter: %s\n", meter.where().c_str());
        std::fflush(stdout);
    }
    bool connected = false;
    bool ok = true;
    char buffer[4096];
    auto report = [&](ssize_t n) {
        return print(simulator.received(std::string_view(buffer, static_cast<std::size_t>(n)),
                                        readLineSettings(master), std::chrono::steady_clock::now(),
                                        std::chrono::system_clock::now()));
    };
    // A meter reads the terminals as the load is now: what the line brought first counts.
    const std::function<double()> volts = [&] {
        ssize_t n = 0;
        while (ok && connected && (n = ::read(master, buffer, sizeof buffer)) > 0)
            ok = report(n);
        return simulator.terminalVolts(std::chrono::steady_clock::now());
    };
    while (ok) {
        if (!connected) {
            if (!slaveOpen(master)) {
                // Nothing to read until the panel opens the slave; look again shortly.
                if (waitFor(-1, 20, meter, volts) < 0)
                    break;
                continue;
            }
            connected = true;
            ok = print(simulator.opened(std::chrono::system_clock::now()));
        }

        const auto deadline = simulator.deadline();
        const int events = waitFor(master, deadline ? millisUntil(*deadline) : -1, meter, volts);
        if (events < 0)
            break;
        bool hungUp = (events & (POLLHUP | POLLERR)) != 0 && (events & POLLIN) == 0;
        if ((events & POLLIN) != 0) {
            const ssize_t n = ::read(master, buffer, sizeof buffer);
            if (n > 0) {
                ok = report(n);
            } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
                hungUp = true; // EIO: the last user of the slave side closed it
            }
        }
        if (ok)
            ok = print(
                simulator.idle(std::chrono::steady_clock::now(), std::chrono::system_clock::now()));
        if (ok && hungUp) {
            connected = false;
            ok = print(simulator.closed(std::chrono::system_clock::now()));
        }
    }

    // A signal ends the run, but what the panel wrote before it still counts, and so does the
    // panel having gone: the demo stops the simulator right after the panel ends.
    if (ok && connected) {
        ssize_t n = 0;
        while (ok && (n = ::read(master, buffer, sizeof buffer)) > 0)
            ok = report(n);
        if (ok && !slaveOpen(master))
            ok = print(simulator.closed(std::chrono::system_clock::now()));
    }
    if (ok) {
        print(simulator.stopped(std::chrono::system_clock::now(),
                                g_signal == SIGINT ? "SIGINT" : "SIGTERM"));
    }
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
