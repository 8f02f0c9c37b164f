// rz417ctl battery against a meter of the bench's own on loopback and a pty as the line:
//  - reading lateness: each MEAS query's arrival against its due time on the run's absolute
//    schedule (reading k due k intervals after the first), over 100 readings 0.2 s apart;
//  - from the meter's second answer below the cut-off to 66FFFF readable at the pty;
//  - the floor beside them: a bare thread sleeping on the same schedule at the same time, whose
//    lateness is the machine's own (a virtual machine's stalls show there first).
#include "support/BenchMeter.h"
#include "support/FarEnd.h"
#include "support/Stats.h"

#include <cstdio>
#include <cstdlib>
#include <signal.h>
#include <spawn.h>
#include <string>
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
    BenchMeter meter;
    meter.highCount = readings;
    std::thread server([&] { meter.serve(listener); });
    std::vector<double> floorLate;
    std::thread floor([&] {
        const Clock::time_point start = Clock::now();
        for (int k = 0; k < readings; ++k) {
            const auto due = start + std::chrono::microseconds(200000 * k);
            std::this_thread::sleep_until(due);
            floorLate.push_back(millisecondsBetween(due, Clock::now()));
        }
    });
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
    floor.join();
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (off != "66FFFF" || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        fail("the run ended with '" + off + "', status " + std::to_string(status));

    printFigure("battery.reading_lateness", summarize(scheduleLateness(meter.queries, kIntervalMs)),
                "ms");
    printFigure("battery.floor_lateness", summarize(floorLate), "ms");
    printFigure("battery.cutoff_to_off",
                summarize({millisecondsBetween(meter.secondLowSent, offAt)}), "ms");
    ::close(listener);
    return 0;
}
