#include "link/WinCommApi_windows.h"

namespace rz417 {

const WinCommApi &win32CommApi()
{
    static const WinCommApi api = {
        [](const wchar_t *path) {
            return ::CreateFileW(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                                 nullptr);
        },
        [](HANDLE file, DCB *dcb) { return ::GetCommState(file, dcb); },
        [](HANDLE file, DCB *dcb) { return ::SetCommState(file, dcb); },
        [](HANDLE file, COMMTIMEOUTS *timeouts) { return ::SetCommTimeouts(file, timeouts); },
        [](HANDLE file, const void *data, DWORD size, DWORD *written) {
            return ::WriteFile(file, data, size, written, nullptr);
        },
        [](HANDLE file, DWORD flags) { return ::PurgeComm(file, flags); },
        [](HANDLE file) { return ::FlushFileBuffers(file); },
        [](HANDLE file) { return ::CloseHandle(file); },
        [] { return ::GetLastError(); },
    };
    return api;
}

} // namespace rz417
