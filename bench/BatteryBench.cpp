// rz417ctl battery against a meter of the bench's own on loopback and a pty as the line:
//  - reading lateness: each MEAS query's arrival against its due time on the run's absolute
//    schedule (reading k due k intervals after the first), over 100 readings 0.2 s apart;
//  - from the meter's second answer below the cut-off to 66FFFF readable at the pty.
#include "support/FarEnd.h"
#include "support/ScpiClient.h"
#include "support/Stats.h"

#include <arpa/inet.h>
#include <cstdio>
#include <cstdlib>
#include <netinet/in.h>
#include <netinet/tcp.h>
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
    std::fprintf(stderr, "battery bench: %s\n", text.c_str());
    std::exit(1);
}

int listenLoopback(int &port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
        ::listen(fd, 1) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &size) != 0)
        fail("no loopback socket");
    port = ntohs(address.sin_port);
    return fd;
}

// The meter: answers *IDN?, then `high` volts for `highCount` readings and 2.5 V after; records
// when each reading's query arrived and when the last answer went out.
struct Meter
{
    int highCount = 0;
    std::vector<Clock::time_point> queries;
    Clock::time_point secondLowSent;

    void serve(int listener)
    {
        const int fd = ::accept(listener, nullptr, nullptr);
        const int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        std::string pending;
        for (;;) {
            const std::string query = readLine(fd, pending);
            if (query == "*IDN?") {
                sendAll(fd, "BENCH,DMM,0,1\n");
                continue;
            }
            queries.push_back(Clock::now());
            const bool low = static_cast<int>(queries.size()) > highCount;
            const bool last = low && static_cast<int>(queries.size()) == highCount + 2;
            if (last)
                secondLowSent = Clock::now();
            sendAll(fd, low ? "+2.50000E+00\n" : "+3.70000E+00\n");
            if (last)
                return;
        }
    }
};

} // namespace
} // namespace rz417::bench

int main(int argc, char **argv)
{
    using namespace rz417::bench;
    if (argc < 3 || std::string(argv[1]) != "--ctl")
        fail("usage: rz417_bench_battery --ctl RZ417CTL [--readings N]");
    const std::string ctl = argv[2];
    const int readings = argc >= 5 ? std::atoi(argv[4]) : 100;
    constexpr double kIntervalMs = 200;

    FarEnd line;
    int port = 0;
    const int listener = listenLoopback(port);
    Meter meter;
    meter.highCount = readings;
    std::thread server([&] { meter.serve(listener); });
    const std::vector<std::string> args{ctl,
                                        "-q",
                                        "-p",
                                        line.slavePath(),
                                        "battery",
                                        "cc",
                                        "0.5",
                                        "--cutoff",
                                        "3.0",
                                        "--meter",
                                        "127.0.0.1:" + std::to_string(port),
                                        "--interval",
                                        "0.2"};
    std::vector<char *> argv2;
    for (const std::string &arg : args)
        argv2.push_back(const_cast<char *>(arg.c_str()));
    argv2.push_back(nullptr);
    pid_t pid = 0;
    if (::posix_spawn(&pid, argv2[0], nullptr, nullptr, argv2.data(), environ) != 0)
        fail("cannot start " + ctl);
    // 6701F4 and 6600FF, then 66FFFF once the cut-off is met.
    std::string frames = line.read(12, std::chrono::milliseconds(10000));
    if (frames != "6701F46600FF")
        fail("the run began with '" + frames + "'");
    Clock::time_point offAt;
    const std::string off = line.read(6, std::chrono::milliseconds(60000), &offAt);
    server.join();
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (off != "66FFFF" || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        fail("the run ended with '" + off + "', status " + std::to_string(status));

    // The schedule is placed at the earliest arrival it allows: lateness from the most punctual.
    const auto &q = meter.queries;
    double origin = 1e300;
    for (std::size_t k = 0; k < q.size(); ++k)
        origin = std::min(origin, millisecondsBetween(q[0], q[k]) - kIntervalMs * double(k));
    std::vector<double> late;
    for (std::size_t k = 0; k < q.size(); ++k)
        late.push_back(millisecondsBetween(q[0], q[k]) - kIntervalMs * double(k) - origin);
    printFigure("battery.reading_lateness", summarize(late), "ms");
    printFigure("battery.cutoff_to_off",
                summarize({millisecondsBetween(meter.secondLowSent, offAt)}), "ms");
    ::close(listener);
    return 0;
}
