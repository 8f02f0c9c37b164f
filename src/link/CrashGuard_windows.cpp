#include "link/CrashGuard.h"

#include "link/CrashGuardSystem.h"

#include <csignal>
#include <cstdlib>

#include <windows.h>

namespace rz417::crashguard {

namespace {

void writeError(std::string_view text)
{
    system::writeError(text.data(), text.size());
}

const char *exceptionCause(DWORD code)
{
    switch (code) {
    case EXCEPTION_ACCESS_VIOLATION:
        return "fatal exception (access violation)";
    case EXCEPTION_STACK_OVERFLOW:
        return "fatal exception (stack overflow)";
    case EXCEPTION_INT_DIVIDE_BY_ZERO:
        return "fatal exception (integer division by zero)";
    case EXCEPTION_ILLEGAL_INSTRUCTION:
        return "fatal exception (illegal instruction)";
    case EXCEPTION_IN_PAGE_ERROR:
        return "fatal exception (in-page error)";
    default:
        return "fatal exception";
    }
}

LONG WINAPI onException(EXCEPTION_POINTERS *info)
{
    const DWORD code =
        info && info->ExceptionRecord ? info->ExceptionRecord->ExceptionCode : DWORD{0};
    writeError(lastWords(switchOffForDeath(), exceptionCause(code)));
    // The system's own end goes on: its report, and the exception's code as the exit status.
    return EXCEPTION_CONTINUE_SEARCH;
}

void onAbort(int)
{
    // The runtime has given SIGABRT back to the system: abort() ends the process with its own
    // status once this returns.
    writeError(lastWords(switchOffForDeath(), "aborted"));
}

} // namespace

namespace system {

void installHandlers(const char *)
{
    // Room for the handler on a thread whose stack has overflowed.
    ULONG guarantee = 64 * 1024;
    ::SetThreadStackGuarantee(&guarantee);
    ::SetUnhandledExceptionFilter(onException);
    std::signal(SIGABRT, onAbort);
}

std::uint64_t threadId()
{
    return ::GetCurrentThreadId();
}

void writeError(const char *text, std::size_t size)
{
    const HANDLE error = ::GetStdHandle(STD_ERROR_HANDLE);
    if (size == 0 || error == nullptr || error == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    ::WriteFile(error, text, static_cast<DWORD>(size), &written, nullptr);
}

void park()
{
    for (;;)
        ::Sleep(INFINITE);
}

void sleepMs(int ms)
{
    ::Sleep(static_cast<DWORD>(ms));
}

bool writeWhole(std::intptr_t handle, const char *data, std::size_t size, int timeoutMs)
{
    const HANDLE line = reinterpret_cast<HANDLE>(handle);
    // The port keeps the write timeout the control last gave it, which may be all but spent.
    COMMTIMEOUTS timeouts = {};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    timeouts.WriteTotalTimeoutConstant = static_cast<DWORD>(timeoutMs);
    ::SetCommTimeouts(line, &timeouts);
    DWORD written = 0;
    return ::WriteFile(line, data, static_cast<DWORD>(size), &written, nullptr) != FALSE &&
           written == size;
}

} // namespace system

} // namespace rz417::crashguard
