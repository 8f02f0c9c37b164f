#include "link/CrashGuard.h"

#include "link/CrashGuardSystem.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>

#include <poll.h>
#include <pthread.h>
#include <unistd.h>

namespace rz417::crashguard {

namespace {

constexpr int kFatal[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};
// Signals that run handlers of their own, held off while the last act is under way.
constexpr int kHeldOff[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGTSTP, SIGPIPE};

// The handlers' own stack, so that a stack overflow on the main thread is caught too.
alignas(16) char g_altStack[64 * 1024];
char g_stopRefusal[160];
std::size_t g_stopRefusalSize = 0;

const char *fatalCause(int signal)
{
    switch (signal) {
    case SIGSEGV:
        return "fatal signal SIGSEGV";
    case SIGBUS:
        return "fatal signal SIGBUS";
    case SIGFPE:
        return "fatal signal SIGFPE";
    case SIGILL:
        return "fatal signal SIGILL";
    case SIGABRT:
        return "fatal signal SIGABRT (aborted)";
    default:
        return "fatal signal";
    }
}

void onFatal(int signal)
{
    const LastAct act = switchOffForDeath();
    const std::string_view words = lastWords(act, fatalCause(signal));
    system::writeError(words.data(), words.size());
    // SA_RESETHAND gave the signal back to the system: it ends the process as it would have,
    // once this returns (a fault: again at the instruction that made it).
    ::raise(signal);
}

void onStop(int)
{
    const int saved = errno;
    if (inputMayBeOn()) {
        system::writeError(g_stopRefusal, g_stopRefusalSize);
        errno = saved;
        return;
    }
    // Stopped as the system stops a process, and Ctrl+Z taken here again once continued.
    struct sigaction stop = {};
    stop.sa_handler = SIG_DFL;
    sigemptyset(&stop.sa_mask);
    struct sigaction ours = {};
    ::sigaction(SIGTSTP, &stop, &ours);
    sigset_t tstp;
    sigemptyset(&tstp);
    sigaddset(&tstp, SIGTSTP);
    ::pthread_sigmask(SIG_UNBLOCK, &tstp, nullptr);
    ::raise(SIGTSTP);
    ::pthread_sigmask(SIG_BLOCK, &tstp, nullptr);
    ::sigaction(SIGTSTP, &ours, nullptr);
    errno = saved;
}

std::int64_t monotonicMs()
{
    timespec now = {};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

} // namespace

namespace system {

void installHandlers(const char *program)
{
    const char *refusal = ": not suspended (Ctrl+Z): the input may be on; switch it off first\n";
    std::size_t at = std::min(std::strlen(program), sizeof g_stopRefusal / 2);
    std::memcpy(g_stopRefusal, program, at);
    const std::size_t rest = std::min(std::strlen(refusal), sizeof g_stopRefusal - at);
    std::memcpy(g_stopRefusal + at, refusal, rest);
    g_stopRefusalSize = at + rest;

    stack_t stack = {};
    stack.ss_sp = g_altStack;
    stack.ss_size = sizeof g_altStack;
    ::sigaltstack(&stack, nullptr);

    struct sigaction fatal = {};
    fatal.sa_handler = onFatal;
    sigemptyset(&fatal.sa_mask);
    for (const int signal : kFatal)
        sigaddset(&fatal.sa_mask, signal);
    for (const int signal : kHeldOff)
        sigaddset(&fatal.sa_mask, signal);
    fatal.sa_flags = SA_ONSTACK | SA_RESETHAND;
    for (const int signal : kFatal)
        ::sigaction(signal, &fatal, nullptr);

    // A process started with Ctrl+Z ignored keeps ignoring it.
    struct sigaction before = {};
    ::sigaction(SIGTSTP, nullptr, &before);
    if (before.sa_handler == SIG_IGN)
        return;
    struct sigaction stop = {};
    stop.sa_handler = onStop;
    sigemptyset(&stop.sa_mask);
    stop.sa_flags = SA_RESTART;
    ::sigaction(SIGTSTP, &stop, nullptr);
}

std::uint64_t threadId()
{
    return static_cast<std::uint64_t>(::gettid());
}

void writeError(const char *text, std::size_t size)
{
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(STDERR_FILENO, text + done, size - done);
        if (n > 0)
            done += static_cast<std::size_t>(n);
        else if (n < 0 && errno == EINTR)
            continue;
        else
            return;
    }
}

void park()
{
    for (;;)
        ::pause();
}

void sleepMs(int ms)
{
    timespec left = {ms / 1000, static_cast<long>(ms % 1000) * 1000000};
    while (::nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}

bool writeWhole(std::intptr_t handle, const char *data, std::size_t size, int timeoutMs)
{
    const int fd = static_cast<int>(handle);
    const std::int64_t deadline = monotonicMs() + timeoutMs;
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, data + done, size - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
            return false;
        const std::int64_t left = deadline - monotonicMs();
        if (left <= 0)
            return false;
        pollfd watched = {fd, POLLOUT, 0};
        ::poll(&watched, 1, static_cast<int>(left));
    }
    return true;
}

} // namespace system

} // namespace rz417::crashguard
