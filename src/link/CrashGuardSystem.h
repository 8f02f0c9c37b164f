#pragma once

#include <cstddef>
#include <cstdint>

// What the crash guard needs of the system, in calls a fault handler may make: one file per
// system (CrashGuard_posix.cpp, CrashGuard_windows.cpp).
namespace rz417::crashguard::system {

constexpr std::intptr_t kNoHandle = -1; // as INVALID_HANDLE_VALUE is on Windows

// The handlers of the faults (and of Ctrl+Z), for the whole process; program names it.
void installHandlers(const char *program);

std::uint64_t threadId();
// Standard error, unbuffered.
void writeError(const char *text, std::size_t size);
// Waits for the end of the process, which another thread's handler brings.
[[noreturn]] void park();
void sleepMs(int ms);
// Writes the bytes whole within timeoutMs; false when the line did not take them all.
bool writeWhole(std::intptr_t handle, const char *data, std::size_t size, int timeoutMs);

} // namespace rz417::crashguard::system
