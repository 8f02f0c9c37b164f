// rz417ctl's measured tests against a meter of the bench's own on loopback and a pty as the line:
//  - battery: each MEAS query's arrival against its due time on the run's absolute schedule
//    (reading k due k intervals after the first), over 100 readings 0.2 s apart; from the
//    meter's second answer below the cut-off to 66FFFF readable at the pty; and the floor
//    beside them: a bare thread sleeping on the same schedule at the same time, whose lateness
//    is the machine's own (a virtual machine's stalls show there first);
//  - ocp: from the answer that confirms a trip to 66FFFF readable at the pty;
//  - sweep: each query against its own due time, the dwell after the frame that followed the
//    answer before it.
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
    std::fprintf(stderr, "measured bench: %s\n", text.c_str());
    std::exit(1);
}

// A test run by rz417ctl against the bench's meter: its words after the meter's address, and
// what it sent first. Returns when 66FFFF came, and that moment.
struct Run
{
    FarEnd line;
    BenchMeter meter;
    Clock::time_point offAt;

    void go(const std::string &ctl, std::vector<std::string> words, const std::string &first)
    {
        int port = 0;
        const int listener = listenLoopback(port);
        std::thread server([&] { meter.serve(listener); });
        std::vector<std::string> args{ctl, "-q", "-p", line.slavePath()};
        args.insert(args.end(), words.begin(), words.end());
        args.push_back("--meter");
        args.push_back("127.0.0.1:" + std::to_string(port));
        std::vector<char *> argv;
        for (const std::string &arg : args)
            argv.push_back(const_cast<char *>(arg.c_str()));
        argv.push_back(nullptr);
        pid_t pid = 0;
        if (::posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
            fail("cannot start " + ctl);
        const std::string frames = line.read(first.size(), std::chrono::milliseconds(10000));
        if (frames != first)
            fail(words[0] + ": the run began with '" + frames + "'");
        std::string rest;
        while (rest.find("66FFFF") == std::string::npos) {
            const std::string more = line.read(6, std::chrono::milliseconds(60000), &offAt);
            if (more.empty())
                fail(words[0] + ": no 66FFFF after '" + rest + "'");
            rest += more;
        }
        server.join();
        int status = 0;
        ::waitpid(pid, &status, 0);
        ::close(listener);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
            fail(words[0] + ": status " + std::to_string(status));
    }
};

void battery(const std::string &ctl, int readings)
{
    constexpr double kIntervalMs = 200;
    Run run;
    run.meter.highCount = readings;
    std::vector<double> floorLate;
    std::thread floor([&] {
        const Clock::time_point start = Clock::now();
        for (int k = 0; k < readings; ++k) {
            const auto due = start + std::chrono::microseconds(200000 * k);
            std::this_thread::sleep_until(due);
            floorLate.push_back(millisecondsBetween(due, Clock::now()));
        }
    });
    run.go(ctl, {"battery", "cc", "0.5", "--cutoff", "3.0", "--interval", "0.2"}, "6701F46600FF");
    floor.join();
    printFigure("battery.reading_lateness",
                summarize(scheduleLateness(run.meter.queries, kIntervalMs)), "ms");
    printFigure("battery.floor_lateness", summarize(floorLate), "ms");
    printFigure("battery.cutoff_to_off",
                summarize({millisecondsBetween(run.meter.secondLowSent, run.offAt)}), "ms");
}

void ocp(const std::string &ctl, int readings)
{
    Run run;
    run.meter.highCount = readings;
    run.go(
        ctl,
        {"ocp", "--from", "0.1", "--to", "15", "--step", "0.01", "--trip", "3", "--dwell", "0.2"},
        "66FFFF6700646600FF");
    printFigure("ocp.trip_to_off",
                summarize({millisecondsBetween(run.meter.secondLowSent, run.offAt)}), "ms");
}

void sweep(const std::string &ctl, int readings)
{
    constexpr double kDwellMs = 200;
    Run run;
    run.meter.highCount = readings;
    run.meter.lowCount = 1;
    run.go(ctl, {"sweep", "cc", "0", "15", "0.01", "--stop-below", "3", "--dwell", "0.2"},
           "66FFFF6700006600FF");
    std::vector<double> late;
    for (std::size_t k = 1; k < run.meter.queries.size(); ++k)
        late.push_back(millisecondsBetween(run.meter.answers[k - 1], run.meter.queries[k]) -
                       kDwellMs);
    printFigure("sweep.reading_lateness", summarize(late), "ms");
}

} // namespace
} // namespace rz417::bench

int main(int argc, char **argv)
{
    using namespace rz417::bench;
    if (argc < 3 || std::string(argv[1]) != "--ctl")
        fail("usage: rz417_bench_measured --ctl RZ417CTL [--readings N]");
    const std::string ctl = argv[2];
    const int readings = argc >= 5 ? std::atoi(argv[4]) : 100;
    battery(ctl, readings);
    ocp(ctl, readings);
    sweep(ctl, readings);
    return 0;
}
