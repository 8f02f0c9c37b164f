#pragma once

#include <windows.h>

namespace rz417 {

// The Win32 calls the serial control makes, in one table so that a test can stand in for the
// system: a port held by another program, a driver that refuses the settings, a stalled line.
struct WinCommApi
{
    // CreateFileW for reading and writing, not shared, an existing device only.
    HANDLE (*createFile)(const wchar_t *path);
    BOOL (*getCommState)(HANDLE file, DCB *dcb);
    BOOL (*setCommState)(HANDLE file, DCB *dcb);
    BOOL (*setCommTimeouts)(HANDLE file, COMMTIMEOUTS *timeouts);
    BOOL (*writeFile)(HANDLE file, const void *data, DWORD size, DWORD *written);
    BOOL (*purgeComm)(HANDLE file, DWORD flags);
    BOOL (*flushFileBuffers)(HANDLE file);
    BOOL (*closeHandle)(HANDLE file);
    DWORD (*getLastError)();
};

// The system's own calls.
const WinCommApi &win32CommApi();

} // namespace rz417
