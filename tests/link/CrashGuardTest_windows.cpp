#include "link/CrashGuard.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>

#include <windows.h>

namespace rz417::crashguard {
namespace {

const int g_control = 0;
const void *const kLine = &g_control;

// How the child dies, as a program dies of its own faults (none of them a call of the guard).
volatile std::uintptr_t g_nowhere = 16;
void badStore()
{
    *reinterpret_cast<volatile int *>(g_nowhere) = 1;
}
void thrower() noexcept(false)
{
    throw std::runtime_error("nobody catches this");
}
void uncaught() noexcept
{
    thrower(); // std::terminate
}

// The child of a death test: its line is a file, and the input is on.
void dieWithTheInputOn(const std::string &file, void (*die)())
{
    install("guarded");
    const HANDLE line = ::CreateFileA(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                      CREATE_ALWAYS, 0, nullptr);
    lineOpened(kLine, reinterpret_cast<std::intptr_t>(line));
    setInputMayBeOn(kLine, true);
    die();
}

std::string contents(const std::string &file)
{
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

struct Row
{
    const char *what;
    void (*die)();
    DWORD status; // the process's exit code: the system's own for each
    const char *says;
};

TEST(CrashGuardDeathTest, EachDeathWithTheInputOnEndsWithTheOffFrameAndTheSystemsOwnEnd)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const Row rows[] = {
        {"an access violation", badStore, EXCEPTION_ACCESS_VIOLATION,
         "guarded: fatal exception .access violation.; switched the input off .66FFFF."},
        {"abort()", [] { std::abort(); }, 3, "guarded: aborted; switched the input off .66FFFF."},
        {"std::terminate", uncaught, 3,
         "guarded: uncaught exception .std::terminate.; switched the input off .66FFFF."},
    };
    char folder[MAX_PATH];
    ASSERT_GT(::GetTempPathA(MAX_PATH, folder), 0u);
    for (const Row &row : rows) {
        const std::string file = std::string(folder) + "rz417-crash-line.txt";
        ::DeleteFileA(file.c_str());
        const DWORD status = row.status;
        EXPECT_EXIT(
            dieWithTheInputOn(file, row.die),
            [status](int code) { return static_cast<DWORD>(code) == status; }, row.says)
            << row.what;
        EXPECT_EQ(contents(file), "66FFFF") << row.what;
        ::DeleteFileA(file.c_str());
    }
}

} // namespace
} // namespace rz417::crashguard
