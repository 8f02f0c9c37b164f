// rz417ctl as a process at the far end of a pseudo-terminal:
//  - one-shot "cv 12.34": from the spawn to the frame readable, and to the exit; peak resident
//    memory; the same for a bare C program that only opens the line and writes the frame;
//  - step start lateness of a 2,000-step program with 10 ms dwells, against its own schedule;
//  - CPU use while the program waits through a long dwell;
//  - parsing and checking a 100,000-step program file: time and peak memory.
#include "program/Program.h"
#include "support/FarEnd.h"
#include "support/Stats.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace rz417::bench {
namespace {

double nowMs()
{
    return std::chrono::duration<double, std::milli>(Clock::now().time_since_epoch()).count();
}

pid_t spawn(const std::vector<std::string> &args)
{
    std::vector<char *> argv;
    for (const std::string &arg : args)
        argv.push_back(const_cast<char *>(arg.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int error = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0) {
        std::fprintf(stderr, "cannot start %s: %s\n", argv[0], std::strerror(error));
        std::exit(1);
    }
    return pid;
}

struct Ended
{
    int status = 0;
    rusage usage{};
};

Ended reap(pid_t pid)
{
    Ended ended;
    ::wait4(pid, &ended.status, 0, &ended.usage);
    return ended;
}

// One frame sent by a fresh process: spawn to frame readable, spawn to exit, peak RSS.
void oneShot(const std::string &key, const std::vector<std::string> &args, FarEnd &line, int runs)
{
    std::vector<double> toFrame, toExit, peak;
    for (int i = 0; i < runs; ++i) {
        const double start = nowMs();
        const pid_t pid = spawn(args);
        Clock::time_point frameAt;
        const std::string frame = line.read(6, std::chrono::milliseconds(5000), &frameAt);
        const Ended ended = reap(pid);
        const double exitAt = nowMs();
        if (frame != "6204D2" || !WIFEXITED(ended.status) || WEXITSTATUS(ended.status) != 0) {
            std::fprintf(stderr, "%s: run %d received '%s', status %d\n", key.c_str(), i,
                         frame.c_str(), ended.status);
            std::exit(1);
        }
        toFrame.push_back(
            std::chrono::duration<double, std::milli>(frameAt.time_since_epoch()).count() - start);
        toExit.push_back(exitAt - start);
        peak.push_back(static_cast<double>(ended.usage.ru_maxrss) * 1024.0 / 1e6);
    }
    printFigure(key + ".to_frame", summarize(toFrame), "ms");
    printFigure(key + ".to_exit", summarize(toExit), "ms");
    printFigure(key + ".peak_rss", summarize(peak), "MB");
}

std::string writeFile(const std::string &name, const std::string &text)
{
    const std::string path = "/tmp/rz417_bench_" + std::to_string(::getpid()) + "_" + name;
    std::ofstream(path) << text;
    return path;
}

// Step start lateness: each frame's arrival against the schedule of a program whose step k is
// due k dwells after the start. The start itself is not visible here, so the schedule is placed
// at the earliest arrival it allows: lateness is measured from the most punctual step.
void lateness(const std::string &ctl, FarEnd &line, int steps)
{
    std::string text = "mode,setpoint,input,dwell\n";
    for (int k = 0; k < steps; ++k)
        text += k % 2 == 0 ? "CC,0.500,,0.010\n" : "CC,0.600,,0.010\n";
    const std::string path = writeFile("lateness.csv", text);
    const pid_t pid = spawn({ctl, "-q", "-p", line.slavePath(), "run", path});
    std::vector<double> arrival;
    std::string pending;
    while (static_cast<int>(arrival.size()) < steps) {
        Clock::time_point at;
        const std::string data = line.read(6, std::chrono::milliseconds(5000), &at);
        if (data.empty())
            break;
        pending += data;
        while (pending.size() >= 6) {
            arrival.push_back(
                std::chrono::duration<double, std::milli>(at.time_since_epoch()).count());
            pending.erase(0, 6);
        }
    }
    reap(pid);
    std::remove(path.c_str());
    if (static_cast<int>(arrival.size()) != steps) {
        std::fprintf(stderr, "lateness: %zu of %d frames arrived\n", arrival.size(), steps);
        std::exit(1);
    }
    double origin = arrival[0];
    for (int k = 0; k < steps; ++k)
        origin = std::min(origin, arrival[static_cast<std::size_t>(k)] - 10.0 * k);
    std::vector<double> late;
    for (int k = 0; k < steps; ++k)
        late.push_back(arrival[static_cast<std::size_t>(k)] - 10.0 * k - origin);
    printFigure("program.lateness", summarize(late), "ms");
    // Drift: how much later the last hundred steps are than the first hundred.
    double first = 0;
    double last = 0;
    for (int k = 0; k < 100; ++k) {
        first += late[static_cast<std::size_t>(k)] / 100;
        last += late[static_cast<std::size_t>(steps - 100 + k)] / 100;
    }
    printValue("program.drift", last - first, "ms");
}

// CPU used by rz417ctl during a long dwell: from just after the first step's frame to just
// before the second's.
void idleCpu(const std::string &ctl, FarEnd &line, double dwellSeconds)
{
    char row[64];
    std::snprintf(row, sizeof row, "CC,0.500,,%.3f\n", dwellSeconds);
    const std::string path =
        writeFile("dwell.csv", std::string("mode,setpoint,input,dwell\n") + row + "CC,0.600,,0\n");
    const pid_t pid = spawn({ctl, "-q", "-p", line.slavePath(), "run", path});
    line.read(6, std::chrono::milliseconds(5000));
    auto cpuOfChild = [pid] {
        std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
        std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
        std::istringstream fields(text.substr(text.rfind(')') + 2));
        std::string field;
        double ticks = 0;
        for (int i = 3; i <= 15 && fields >> field; ++i) {
            if (i == 14 || i == 15)
                ticks += std::stod(field);
        }
        return ticks * 1000.0 / static_cast<double>(::sysconf(_SC_CLK_TCK));
    };
    const double before = cpuOfChild();
    const double beganAt = nowMs();
    ::usleep(static_cast<useconds_t>(dwellSeconds * 1e6 - 200e3));
    const double used = cpuOfChild() - before;
    const double span = nowMs() - beganAt;
    line.read(6, std::chrono::milliseconds(5000));
    reap(pid);
    std::remove(path.c_str());
    printValue("program.idle_cpu", 100.0 * used / span, "%");
}

void parse(const std::string &self, int steps, int runs)
{
    std::string text = "mode,setpoint,input,dwell,comment\n";
    for (int k = 0; k < steps; ++k)
        text += k % 2 == 0 ? "CC,0.500,on,0.010,low\n" : "CV,12.34V,,0.010,\"high, short\"\n";
    const std::string path = writeFile("parse.csv", text);
    std::vector<double> took, peak;
    for (int i = 0; i < runs; ++i) {
        int pipeFds[2];
        if (::pipe(pipeFds) != 0)
            std::exit(1);
        const pid_t pid = ::fork();
        if (pid == 0) {
            // A fresh process, so that its peak memory is the parse's alone.
            ::close(pipeFds[0]);
            const double start = nowMs();
            const Program program = loadProgram(path);
            const double ms = nowMs() - start;
            const bool ok =
                program.problems.empty() && program.steps.size() == static_cast<std::size_t>(steps);
            [[maybe_unused]] const auto n = ::write(pipeFds[1], &ms, sizeof ms);
            ::_exit(ok ? 0 : 1);
        }
        ::close(pipeFds[1]);
        double ms = 0;
        [[maybe_unused]] const auto n = ::read(pipeFds[0], &ms, sizeof ms);
        ::close(pipeFds[0]);
        const Ended ended = reap(pid);
        if (!WIFEXITED(ended.status) || WEXITSTATUS(ended.status) != 0) {
            std::fprintf(stderr, "parse: the program was refused\n");
            std::exit(1);
        }
        took.push_back(ms);
        peak.push_back(static_cast<double>(ended.usage.ru_maxrss) * 1024.0 / 1e6);
    }
    std::remove(path.c_str());
    (void)self;
    printFigure("program.parse_time", summarize(took), "ms");
    printFigure("program.parse_peak_rss", summarize(peak), "MB");
    printNote("parse: " + std::to_string(steps) + " steps, " + std::to_string(text.size() / 1000) +
              " kB, peak resident of a process that only loads the file");
}

} // namespace
} // namespace rz417::bench

int main(int argc, char *argv[])
{
    using namespace rz417::bench;
    std::string ctl, floor;
    int runs = 100;
    int steps = 2000;
    double dwell = 5;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string name = argv[i];
        if (name == "--ctl")
            ctl = argv[i + 1];
        else if (name == "--floor")
            floor = argv[i + 1];
        else if (name == "--runs")
            runs = std::atoi(argv[i + 1]);
        else if (name == "--steps")
            steps = std::atoi(argv[i + 1]);
        else if (name == "--dwell")
            dwell = std::atof(argv[i + 1]);
    }
    if (ctl.empty() || floor.empty()) {
        std::fprintf(stderr, "usage: rz417_bench_cli --ctl RZ417CTL --floor LINE_FLOOR "
                             "[--runs N] [--steps N] [--dwell S]\n");
        return 2;
    }
    FarEnd line;
    // Interleaved, so that both see the same machine.
    for (int round = 0; round < 2; ++round) {
        oneShot(round == 0 ? "oneshot.warm" : "oneshot",
                {ctl, "-p", line.slavePath(), "cv", "12.34"}, line, round == 0 ? 5 : runs);
        oneShot(round == 0 ? "floor.warm" : "floor", {floor, line.slavePath()}, line,
                round == 0 ? 5 : runs);
    }
    lateness(ctl, line, steps);
    idleCpu(ctl, line, dwell);
    parse(argv[0], 100000, 5);
    return 0;
}
