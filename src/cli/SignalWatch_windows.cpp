#include "cli/SignalWatch.h"

#include <csignal>

#include <windows.h>

namespace rz417::cli {

namespace {

// Wakes every sleeper once a signal is caught; manual reset, so it stays set.
HANDLE g_wake = nullptr;
// Set when the watch goes: the run has switched the input off.
HANDLE g_done = nullptr;
volatile LONG g_caught = 0;

// Windows calls this on a thread of its own.
BOOL WINAPI onConsoleEvent(DWORD event)
{
    LONG signal = 0;
    switch (event) {
    case CTRL_C_EVENT:
        signal = SIGINT;
        break;
    case CTRL_BREAK_EVENT:
        signal = SIGBREAK;
        break;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        signal = SIGTERM;
        break;
    default:
        return FALSE;
    }
    ::InterlockedCompareExchange(&g_caught, signal, 0);
    ::SetEvent(g_wake);
    if (signal == SIGTERM) {
        // The process ends as soon as this returns: hold it until the input is off, within
        // the five seconds Windows allows; then until the process ends of itself, so that its
        // exit status is its own and not the one Windows gives a process it ends.
        if (::WaitForSingleObject(g_done, 4500) == WAIT_OBJECT_0)
            ::Sleep(4500);
    }
    return TRUE;
}

} // namespace

SignalWatch::SignalWatch()
{
    // The events live as long as the process: a handler may still wait on g_done after the
    // watch has gone.
    if (!g_wake) {
        g_wake = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
        g_done = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    }
    ::ResetEvent(g_wake);
    ::ResetEvent(g_done);
    g_caught = 0;
    // A process started in a group of its own inherits Ctrl+C switched off: on again.
    ::SetConsoleCtrlHandler(nullptr, FALSE);
    ::SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

SignalWatch::~SignalWatch()
{
    ::SetConsoleCtrlHandler(onConsoleEvent, FALSE);
    ::SetEvent(g_done);
}

bool SignalWatch::sleepUntil(SteadyTime until)
{
    while (g_caught == 0) {
        const auto left = until - runClockNow();
        if (left <= SteadyTime::duration::zero())
            return true;
        // Rounded up, so that a wake-up never comes before its time.
        const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
        const DWORD wait =
            ms >= static_cast<long long>(INFINITE) - 1 ? INFINITE - 1 : static_cast<DWORD>(ms);
        ::WaitForSingleObject(g_wake, wait);
    }
    return false;
}

int SignalWatch::caught() const
{
    return static_cast<int>(g_caught);
}

const char *signalName(int signal)
{
    switch (signal) {
    case SIGINT:
        return "Ctrl+C";
    case SIGBREAK:
        return "Ctrl+Break";
    case SIGTERM:
        return "the console closing";
    default:
        return "a signal";
    }
}

} // namespace rz417::cli
