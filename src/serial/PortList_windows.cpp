#include "serial/PortList.h"

#include "protocol/WindowsText_windows.h"

#include <algorithm>
#include <vector>

#include <windows.h>

namespace rz417 {

namespace {

struct KnownPort
{
    int number = 0;
    std::string name;   // "COM3"
    std::string device; // the driver's name for it, "\Device\Serial0"
};

// The COM ports Windows knows: HARDWARE\DEVICEMAP\SERIALCOMM names each port's device and its
// COM name, free or in use.
std::vector<KnownPort> knownPorts()
{
    std::vector<KnownPort> ports;
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ,
                        &key) != ERROR_SUCCESS)
        return ports;
    for (DWORD index = 0;; ++index) {
        wchar_t device[256];
        wchar_t name[64];
        DWORD deviceSize = 256;
        DWORD nameBytes = sizeof name - sizeof(wchar_t);
        DWORD type = 0;
        const LONG status = ::RegEnumValueW(key, index, device, &deviceSize, nullptr, &type,
                                            reinterpret_cast<BYTE *>(name), &nameBytes);
        if (status == ERROR_NO_MORE_ITEMS)
            break;
        if (status != ERROR_SUCCESS || type != REG_SZ)
            continue;
        name[nameBytes / sizeof(wchar_t)] = L'\0';
        KnownPort port;
        port.name = windows::utf8(name);
        port.device = windows::utf8(std::wstring(device, deviceSize));
        const bool com = port.name.size() > 3 && port.name.compare(0, 3, "COM") == 0 &&
                         port.name.find_first_not_of("0123456789", 3) == std::string::npos &&
                         port.name.size() < 9;
        if (!com)
            continue;
        port.number = std::stoi(port.name.substr(3));
        ports.push_back(port);
    }
    ::RegCloseKey(key);
    std::sort(ports.begin(), ports.end(),
              [](const KnownPort &a, const KnownPort &b) { return a.number < b.number; });
    return ports;
}

// Whether the port opens now; it is closed again at once, nothing is sent.
std::string state(const std::string &name)
{
    const std::wstring path = windows::wide("\\\\.\\" + name);
    const HANDLE handle = ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                        OPEN_EXISTING, 0, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
        ::CloseHandle(handle);
        return "free";
    }
    const DWORD error = ::GetLastError();
    if (error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION)
        return "in use by another program";
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
        return "no such device";
    return "could not be opened: " + windows::errorText(error);
}

} // namespace

std::string portListText(const PortMap &)
{
    std::string text;
    for (const KnownPort &port : knownPorts()) {
        text += std::to_string(port.number) + "  " + port.name + "  ";
        if (!port.device.empty())
            text += port.device + "  ";
        text += state(port.name) + "\n";
    }
    if (text.empty())
        text = "no serial ports found\n";
    return text;
}

} // namespace rz417
