#include "link/CrashGuard.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace rz417::crashguard {
namespace {

using namespace std::chrono_literals;

// The serial control as the guard knows it.
const int g_control = 0;
const void *const kLine = &g_control;

// How the child dies, as a program dies of its own faults (none of them a call of the guard).
volatile std::uintptr_t g_nowhere = 16;
void badStore()
{
    *reinterpret_cast<volatile int *>(g_nowhere) = 1;
}
volatile bool g_deeper = true;
int recurse(int depth)
{
    volatile char frame[1024];
    frame[0] = static_cast<char>(depth);
    return (g_deeper ? recurse(depth + 1) : 0) + frame[0];
}
void overflow()
{
    recurse(0);
}
void thrower() noexcept(false)
{
    throw std::runtime_error("nobody catches this");
}
void uncaught() noexcept
{
    thrower(); // std::terminate
}

std::string readAll(int fd)
{
    std::string text;
    char buffer[256];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0)
            text.append(buffer, static_cast<std::size_t>(n));
        else if (n < 0 && errno == EINTR)
            continue;
        else
            return text;
    }
}

struct Death
{
    std::string line;  // what the line received
    std::string words; // standard error
    int signal = 0;    // the signal that ended the child; 0 when it exited
};

// Runs setup, then die, in a child whose line is a pipe; what reached the line, what it said,
// and what ended it.
Death inChild(const std::function<void(int line)> &setup, void (*die)())
{
    int line[2];
    int error[2];
    if (::pipe(line) != 0 || ::pipe(error) != 0)
        ADD_FAILURE() << "pipe";
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(line[0]);
        ::close(error[0]);
        ::dup2(error[1], STDERR_FILENO);
        install("guarded");
        lineOpened(kLine, line[1]);
        setup(line[1]);
        die();
        ::_exit(0);
    }
    ::close(line[1]);
    ::close(error[1]);
    Death death;
    death.line = readAll(line[0]);
    death.words = readAll(error[0]);
    ::close(line[0]);
    ::close(error[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (WIFSIGNALED(status))
        death.signal = WTERMSIG(status);
    return death;
}

void inputOn(int)
{
    setInputMayBeOn(kLine, true);
}

struct Row
{
    const char *what;
    std::function<void(int line)> setup;
    void (*die)();
    const char *line;
    int signal;
    const char *words;
};

TEST(CrashGuard, EachDeathWithTheInputOnEndsWithTheOffFrameAndTheSystemsOwnEnd)
{
    const Row rows[] = {
        {"a bad store", inputOn, badStore, "66FFFF", SIGSEGV,
         "guarded: fatal signal SIGSEGV; switched the input off (66FFFF)\n"},
        {"abort()", inputOn, [] { std::abort(); }, "66FFFF", SIGABRT,
         "guarded: fatal signal SIGABRT (aborted); switched the input off (66FFFF)\n"},
        {"std::terminate", inputOn, uncaught, "66FFFF", SIGABRT,
         "switched the input off (66FFFF)\n"},
        {"a stack overflow", inputOn, overflow, "66FFFF", SIGSEGV,
         "fatal signal SIGSEGV; switched the input off (66FFFF)\n"},
        // The rest of a frame cut short is finished first, and after the pause the off frame.
        {"a cut frame owed",
         [](int) {
             inputOn(0);
             setOwed(kLine, "FF");
         },
         badStore, "FF66FFFF", SIGSEGV, "switched the input off (66FFFF)"},
        // The rest of a cut input-on frame is not: only the pause, and the off frame.
        {"a cut input-on frame owed",
         [](int) {
             inputOn(0);
             setOwed(kLine, "FF", false);
         },
         badStore, "66FFFF", SIGSEGV, "switched the input off (66FFFF)"},
        {"the input off", [](int) {}, badStore, "", SIGSEGV, ""},
        {"an input switched off",
         [](int) {
             inputOn(0);
             setInputMayBeOn(kLine, false);
         },
         badStore, "", SIGSEGV, ""},
        {"the line closed",
         [](int) {
             inputOn(0);
             lineClosed(kLine);
         },
         badStore, "", SIGSEGV,
         "guarded: fatal signal SIGSEGV; the line is not open: the input may still be on\n"},
        // Another control's input says nothing of this line's.
        {"another line's input", [](int) { setInputMayBeOn(&g_control + 1, true); }, badStore, "",
         SIGSEGV, ""},
        // A fault in the middle of a write: what the line took of it is not known; after the
        // pause the load has dropped it.
        {"a write of its own under way",
         [](int fd) {
             inputOn(0);
             static std::optional<LineUse> use;
             use.emplace(kLine);
             [[maybe_unused]] const auto n = ::write(fd, "6600", 4);
         },
         badStore, "660066FFFF", SIGSEGV, "switched the input off (66FFFF)"},
        // Another thread's write ends first, what it owes after it goes out, and nothing of
        // that thread follows the off frame.
        {"another thread's write under way",
         [](int fd) {
             inputOn(0);
             static std::atomic<bool> started{false};
             std::thread([fd] {
                 {
                     const LineUse use(kLine);
                     [[maybe_unused]] const auto n = ::write(fd, "6600", 4);
                     started = true;
                     std::this_thread::sleep_for(200ms);
                     setOwed(kLine, "FF");
                 }
                 [[maybe_unused]] const auto n = ::write(fd, "670000", 6);
             }).detach();
             while (!started)
                 std::this_thread::sleep_for(1ms);
         },
         badStore, "6600FF66FFFF", SIGSEGV, "switched the input off (66FFFF)"},
    };
    for (const Row &row : rows) {
        const Death death = inChild(row.setup, row.die);
        EXPECT_EQ(death.line, row.line) << row.what;
        EXPECT_EQ(death.signal, row.signal) << row.what;
        if (*row.words)
            EXPECT_NE(death.words.find(row.words), std::string::npos)
                << row.what << ": " << death.words;
        else
            EXPECT_EQ(death.words, "") << row.what;
    }
}

TEST(CrashGuard, CtrlZIsRefusedWhileTheInputMayBeOnAndStopsTheProcessOtherwise)
{
    for (const bool on : {true, false}) {
        int error[2];
        ASSERT_EQ(::pipe(error), 0);
        const pid_t child = ::fork();
        if (child == 0) {
            // A group of its own, which its parent keeps from being orphaned: the system
            // discards Ctrl+Z to an orphaned group rather than stop it.
            ::setpgid(0, 0);
            ::dup2(error[1], STDERR_FILENO);
            install("guarded");
            lineOpened(kLine, error[1]);
            setInputMayBeOn(kLine, on);
            ::raise(SIGTSTP);
            ::_exit(7);
        }
        ::close(error[1]);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, WUNTRACED), child);
        if (on) {
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 7) << "stopped while on";
        } else {
            EXPECT_TRUE(WIFSTOPPED(status) && WSTOPSIG(status) == SIGTSTP) << "not stopped";
            ::kill(child, SIGCONT);
            ASSERT_EQ(::waitpid(child, &status, 0), child);
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 7) << "not continued";
        }
        const std::string words = readAll(error[0]);
        ::close(error[0]);
        EXPECT_EQ(words, on ? "guarded: not suspended (Ctrl+Z): the input may be on; switch it "
                              "off first\n"
                            : "");
    }
}

} // namespace
} // namespace rz417::crashguard
