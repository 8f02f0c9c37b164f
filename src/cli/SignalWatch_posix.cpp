#include "cli/SignalWatch.h"

#include <cerrno>
#include <csignal>
#include <ctime>

#include <fcntl.h>
#include <poll.h>
#include <sys/timerfd.h>
#include <unistd.h>

namespace rz417::cli {

namespace {

// SIGQUIT (Ctrl+\) ends a run as SIGTERM does: the input off first, no core dump.
constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
constexpr int kCount = static_cast<int>(sizeof kSignals / sizeof kSignals[0]);

int g_pipe[2] = {-1, -1};
volatile std::sig_atomic_t g_caught = 0;
struct sigaction g_previous[kCount];
struct sigaction g_previousPipe;

void onSignal(int signal)
{
    const int saved = errno;
    if (g_caught == 0)
        g_caught = signal;
    const char byte = 1;
    [[maybe_unused]] const auto n = ::write(g_pipe[1], &byte, 1);
    errno = saved;
}

} // namespace

SignalWatch::SignalWatch()
{
    g_caught = 0;
    if (::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        g_pipe[0] = g_pipe[1] = -1;
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    // Writes to the line in progress finish; the run looks at the signal right after them.
    action.sa_flags = SA_RESTART;
    for (int i = 0; i < kCount; ++i)
        ::sigaction(kSignals[i], &action, &g_previous[i]);
    // A reader of our output that goes away shows as a failed write, not a lost process.
    struct sigaction ignore = {};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGPIPE, &ignore, &g_previousPipe);
}

SignalWatch::~SignalWatch()
{
    for (int i = 0; i < kCount; ++i)
        ::sigaction(kSignals[i], &g_previous[i], nullptr);
    ::sigaction(SIGPIPE, &g_previousPipe, nullptr);
    for (int &fd : g_pipe) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
}

bool SignalWatch::sleepUntil(SteadyTime until)
{
    // A timer of the run's clock: a host suspended meanwhile does not push the wake-up back.
    const int timer = ::timerfd_create(CLOCK_BOOTTIME, TFD_CLOEXEC);
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(until.time_since_epoch());
    itimerspec at = {};
    at.it_value = {static_cast<time_t>(ns.count() / 1000000000),
                   static_cast<long>(ns.count() % 1000000000)};
    const bool timed = timer >= 0 && ns.count() > 0 &&
                       ::timerfd_settime(timer, TFD_TIMER_ABSTIME, &at, nullptr) == 0;
    bool slept = false;
    while (g_caught == 0) {
        const auto left = until - runClockNow();
        if (left <= SteadyTime::duration::zero()) {
            slept = true;
            break;
        }
        pollfd fds[2] = {{g_pipe[0], POLLIN, 0}, {timer, POLLIN, 0}};
        const auto wait = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
        const timespec timeout = {static_cast<time_t>(wait / 1000000000),
                                  static_cast<long>(wait % 1000000000)};
        // EINTR and an early return both come back here to look at the clock again.
        ::ppoll(g_pipe[0] >= 0 ? fds : fds + 1, g_pipe[0] >= 0 ? 2 : 1, timed ? nullptr : &timeout,
                nullptr);
    }
    if (timer >= 0)
        ::close(timer);
    return slept;
}

int SignalWatch::caught() const
{
    return g_caught;
}

const char *signalName(int signal)
{
    switch (signal) {
    case SIGINT:
        return "SIGINT";
    case SIGTERM:
        return "SIGTERM";
    case SIGHUP:
        return "SIGHUP";
    case SIGQUIT:
        return "SIGQUIT";
    default:
        return "a signal";
    }
}

} // namespace rz417::cli
