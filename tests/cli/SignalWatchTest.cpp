#include "cli/SignalWatch.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <thread>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace rz417::cli {
namespace {

using namespace std::chrono_literals;

// What the user does to interrupt, as the process receives it.
void interrupt()
{
#ifdef _WIN32
    // Ctrl+C to every process of this console: the test needs one (under Wine, a terminal).
    ASSERT_TRUE(::GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0)) << "no console";
#else
    ASSERT_EQ(::kill(::getpid(), SIGINT), 0);
#endif
}

TEST(SignalWatch, SleepsToItsTimeThenWakesEveryWaiterOnAnInterrupt)
{
    SignalWatch watch;
    const auto start = runClockNow();
    EXPECT_TRUE(watch.sleepUntil(start + 50ms));
    EXPECT_GE(runClockNow(), start + 50ms) << "woke before its time";
    EXPECT_EQ(watch.caught(), 0);

    // One waiter on another thread (as a server's), one here.
    bool otherSlept = true;
    std::thread other([&] { otherSlept = watch.sleepUntil(runClockNow() + 30s); });
    std::this_thread::sleep_for(50ms);
    interrupt();
    EXPECT_FALSE(watch.sleepUntil(runClockNow() + 30s));
    other.join();
    EXPECT_FALSE(otherSlept);
    EXPECT_EQ(watch.caught(), SIGINT);
    EXPECT_LT(runClockNow(), start + 20s) << "the interrupt did not wake it";
}

} // namespace
} // namespace rz417::cli
