// rz417ctl serve over loopback, with a pseudo-terminal as its line:
//  - *IDN? round trips from one client, one after the other (what lxi benchmark -r measures):
//    median, p99 and queries per second, beside a bare C epoll floor, in alternating rounds;
//  - CURR <value>: from the client's send to the frame readable at the line's far end;
//  - 8 clients each sending 10,000 setpoints as fast as they can: every frame arrives, in each
//    client's order, and the server's resident memory stays flat.
#include "support/FarEnd.h"
#include "support/ProcStatus.h"
#include "support/ScpiClient.h"
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
