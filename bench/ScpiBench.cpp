// rz417ctl serve over loopback, with a pseudo-terminal as its line:
//  - *IDN? round trips from one client, one after the other (what lxi benchmark -r measures):
//    median, p99 and queries per second, beside a bare C epoll floor, in alternating rounds;
//  - CURR <value>: from the client's send to the frame readable at the line's far end;
//  - 8 clients each sending 10,000 setpoints as fast as they can: every frame arrives, in each
//    client's order, and the server's resident memory stays flat.
#include "support/FarEnd.h"
#include "support/ProcStatus.h"
#include "support/Stats.h"

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace rz417::bench {
namespace {

[[noreturn]] void fail(const std::string &text)
{
    std::fprintf(stderr, "scpi bench: %s\n", text.c_str());
    std::exit(1);
}

// A child whose standard output (or error) the bench reads for the port it listens on.
struct Child
{
    pid_t pid = 0;
    int port = 0;
};

// Every thread of a process onto the given CPUs.
void pinProcess(pid_t pid, const cpu_set_t &cpus)
{
    bool any = false;
    std::error_code error;
    for (const auto &task :
         std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/task", error))
        any |=
            ::sched_setaffinity(std::atoi(task.path().filename().c_str()), sizeof cpus, &cpus) == 0;
    if (!any)
        fail("could not set the CPU affinity of " + std::to_string(pid));
}

Child spawnListening(const std::vector<std::string> &args, bool portOnStderr)
{
    int pipeFd[2];
    if (::pipe(pipeFd) != 0)
        fail("pipe");
    std::vector<char *> argv;
    for (const std::string &arg : args)
        argv.push_back(const_cast<char *>(arg.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFd[1],
                                     portOnStderr ? STDERR_FILENO : STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipeFd[0]);
    Child child;
    if (posix_spawn(&child.pid, argv[0], &actions, nullptr, argv.data(), environ) != 0)
        fail("cannot start " + args[0]);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFd[1]);
    std::string text;
    char c;
    while (text.find('\n') == std::string::npos && ::read(pipeFd[0], &c, 1) == 1)
        text += c;
    ::close(pipeFd[0]);
    // "5025" from the floor, "rz417ctl: serving SCPI on 127.0.0.1:5025 for ..." from the server.
    const auto colon = portOnStderr ? text.find(':', text.find(" on ")) : std::string::npos;
    child.port = std::atoi(text.c_str() + (colon == std::string::npos ? 0 : colon + 1));
    if (child.port <= 0)
        fail(args[0] + " told no port: " + text);
    return child;
}

void stop(const Child &child)
{
    ::kill(child.pid, SIGTERM);
    int status = 0;
    ::waitpid(child.pid, &status, 0);
}

int connectTo(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0)
        fail("cannot connect to port " + std::to_string(port));
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return fd;
}

void sendAll(int fd, const std::string &text)
{
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::send(fd, text.data() + done, text.size() - done, MSG_NOSIGNAL);
        if (n <= 0)
            fail("send failed");
        done += static_cast<std::size_t>(n);
    }
}

// Reads one answer line.
std::string readLine(int fd, std::string &pending)
{
    for (;;) {
        const auto end = pending.find('\n');
        if (end != std::string::npos) {
            std::string line = pending.substr(0, end);
            pending.erase(0, end + 1);
            return line;
        }
        char buffer[4096];
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0)
            fail("the connection closed");
        pending.append(buffer, static_cast<std::size_t>(n));
    }
}

struct Trips
{
    std::vector<double> ms;
    double perSecond = 0;
};

Trips idnTrips(int port, int count)
{
    const int fd = connectTo(port);
    std::string pending;
    Trips trips;
    const auto began = Clock::now();
    for (int i = 0; i < count; ++i) {
        const auto start = Clock::now();
        sendAll(fd, "*IDN?\n");
        if (readLine(fd, pending) != "QUENDA,RZ-417,0,1.00")
            fail("a wrong identity");
        trips.ms.push_back(millisecondsBetween(start, Clock::now()));
    }
    trips.perSecond = count / (millisecondsBetween(began, Clock::now()) / 1000.0);
    ::close(fd);
    return trips;
}

void flood(int port, int client, int count)
{
    const int fd = connectTo(port);
    std::string batch;
    for (int i = 0; i < count; ++i) {
        // Client k's resistances are k00.0 to k99.9 ohm, counting up: its order is readable
        // from the frames alone.
        const int value = client * 1000 + i % 1000;
        batch += "RES " + std::to_string(value / 10) + "." + std::to_string(value % 10) + "\n";
        if (batch.size() > 4000 || i + 1 == count) {
            sendAll(fd, batch);
            batch.clear();
        }
    }
    sendAll(fd, "*OPC?\n");
    std::string pending;
    if (readLine(fd, pending) != "1")
        fail("*OPC? did not answer 1");
    ::close(fd);
}

} // namespace
} // namespace rz417::bench

int main(int argc, char **argv)
{
    using namespace rz417::bench;
    std::string ctl, floorBinary;
    int rounds = 5, trips = 5000, latencies = 2000, clients = 8, setpoints = 10000;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string name = argv[i];
        if (name == "--ctl")
            ctl = argv[i + 1];
        else if (name == "--floor")
            floorBinary = argv[i + 1];
        else if (name == "--rounds")
            rounds = std::atoi(argv[i + 1]);
        else if (name == "--trips")
            trips = std::atoi(argv[i + 1]);
        else if (name == "--setpoints")
            setpoints = std::atoi(argv[i + 1]);
    }
    if (ctl.empty() || floorBinary.empty())
        fail("usage: rz417_bench_scpi --ctl RZ417CTL --floor SCPI_FLOOR [--rounds N] [--trips N] "
             "[--setpoints N]");

    FarEnd line;
    const Child server =
        spawnListening({ctl, "-p", line.slavePath(), "serve", "--listen", "0"}, true);
    const Child floor = spawnListening({floorBinary}, false);

    // The round trips run with the client and the server on one CPU, for the floor as for the
    // server: across two CPUs of a virtual machine each query costs a cross-CPU wake-up whose
    // price swings with the host from run to run by a factor of two and swamps the server's own
    // work. The rest of the bench runs on all CPUs again.
    cpu_set_t all;
    CPU_ZERO(&all);
    if (::sched_getaffinity(0, sizeof all, &all) != 0)
        fail("could not read the CPU affinity");
    int last = -1;
    for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu)
        if (CPU_ISSET(cpu, &all))
            last = cpu;
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(last, &one);
    pinProcess(::getpid(), one);
    pinProcess(server.pid, one);
    pinProcess(floor.pid, one);

    // Alternating rounds, so that the machine's load shifts both alike.
    std::vector<double> serverMs, floorMs, serverRates, floorRates;
    for (int r = 0; r < rounds; ++r) {
        const Trips f = idnTrips(floor.port, trips);
        const Trips s = idnTrips(server.port, trips);
        floorMs.insert(floorMs.end(), f.ms.begin(), f.ms.end());
        serverMs.insert(serverMs.end(), s.ms.begin(), s.ms.end());
        floorRates.push_back(f.perSecond);
        serverRates.push_back(s.perSecond);
    }
    std::vector<double> ratios;
    for (int r = 0; r < rounds; ++r)
        ratios.push_back(serverRates[static_cast<std::size_t>(r)] /
                         floorRates[static_cast<std::size_t>(r)]);
    printFigure("scpi.idn_trip", summarize(serverMs), "ms");
    printFigure("scpi.floor_trip", summarize(floorMs), "ms");
    printFigure("scpi.idn_rate", summarize(serverRates), "/s");
    printFigure("scpi.floor_rate", summarize(floorRates), "/s");
    printFigure("scpi.rate_ratio", summarize(ratios), "x");
    stop(floor);
    pinProcess(::getpid(), all);
    pinProcess(server.pid, all);

    // CURR to the frame at the far end.
    {
        const int fd = connectTo(server.port);
        line.readNow();
        std::vector<double> ms;
        for (int i = 0; i < latencies; ++i) {
            const int value = i % 1000; // the low range: 0.000 to 0.999 A
            const std::string command = "CURR 0." + std::string(value < 100 ? "0" : "") +
                                        std::string(value < 10 ? "0" : "") + std::to_string(value) +
                                        "\n";
            // Each on a line at rest: sent back to back, they would wait for the line's pace.
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            const auto start = Clock::now();
            sendAll(fd, command);
            Clock::time_point at;
            const std::string frame = line.read(6, std::chrono::milliseconds(5000), &at);
            if (frame.size() != 6 || frame.compare(0, 2, "67") != 0)
                fail("CURR gave the frame '" + frame + "'");
            ms.push_back(millisecondsBetween(start, at));
        }
        ::close(fd);
        printFigure("scpi.curr_to_frame", summarize(ms), "ms");
    }

    // Eight clients at once, every frame read at the far end.
    {
        line.readNow();
        std::vector<std::thread> threads;
        const auto began = Clock::now();
        for (int k = 0; k < clients; ++k)
            threads.emplace_back(flood, server.port, k, setpoints);
        const std::size_t expected = static_cast<std::size_t>(clients * setpoints) * 6;
        std::string frames;
        long rssEarly = 0, rssPeakLate = 0;
        while (frames.size() < expected) {
            const std::string got =
                line.read(expected - frames.size(), std::chrono::milliseconds(200));
            if (got.empty() && millisecondsBetween(began, Clock::now()) > 120000)
                fail("frames missing after 2 minutes: " + std::to_string(frames.size() / 6));
            frames += got;
            const long rss = residentOf(server.pid).currentKiB;
            if (frames.size() >= expected / 10 && rssEarly == 0)
                rssEarly = rss;
            rssPeakLate = std::max(rssPeakLate, rss);
        }
        for (std::thread &t : threads)
            t.join();
        const double took = millisecondsBetween(began, Clock::now());
        std::vector<int> next(static_cast<std::size_t>(clients), 0);
        std::size_t outOfOrder = 0;
        for (std::size_t i = 0; i < frames.size(); i += 6) {
            if (frames.compare(i, 2, "65") != 0) {
                ++outOfOrder;
                continue;
            }
            const int value =
                static_cast<int>(std::strtol(frames.substr(i + 2, 4).c_str(), nullptr, 16));
            int &expectedNext = next[static_cast<std::size_t>(value / 1000)];
            if (value % 1000 != expectedNext % 1000)
                ++outOfOrder;
            ++expectedNext;
        }
        const long rssEnd = residentOf(server.pid).currentKiB;
        printValue("scpi.flood_frames", static_cast<double>(frames.size() / 6), "frames");
        printValue("scpi.flood_out_of_order", static_cast<double>(outOfOrder), "frames");
        printValue("scpi.flood_rate", static_cast<double>(frames.size() / 6) / (took / 1000.0),
                   "/s");
        printValue("scpi.flood_rss_growth", megabytes(std::max(rssPeakLate, rssEnd) - rssEarly),
                   "MB");
        printValue("scpi.peak_rss", megabytes(residentOf(server.pid).peakKiB), "MB");
    }
    stop(server);
    return 0;
}
