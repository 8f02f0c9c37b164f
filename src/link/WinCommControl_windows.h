#pragma once

#include "link/HostControl.h"
#include "link/LineSettings.h"
#include "link/LineWriter.h"
#include "link/PortMap.h"
#include "link/WinCommApi_windows.h"

#include <chrono>
#include <string>

namespace rz417 {

// The serial control on the Win32 communications API. Port n is COMn (\\.\COMn, so that COM10
// and up open too). Writes are synchronous and bounded: setOutput returns once the whole string
// is in the driver's hands, or raises CommError.
class WinCommControl : public HostControl, private ByteLine
{
public:
    explicit WinCommControl(PortMap ports, const WinCommApi &api = win32CommApi());
    ~WinCommControl() override;
    WinCommControl(const WinCommControl &) = delete;
    WinCommControl &operator=(const WinCommControl &) = delete;

    void setCommPort(int16_t port) override;
    void setSettings(const std::string &settings) override;
    void setPortOpen(bool open) override;
    void setOutput(const std::string &data) override;
    bool release() override;

    void setWriteTimeout(std::chrono::milliseconds timeout) { m_writeTimeout = timeout; }
    // Whether the device is open right now (false while it is lost).
    bool isDeviceOpen() const { return m_handle != INVALID_HANDLE_VALUE; }

private:
    // Opens and configures the device; false with the reason in m_lastRefusal.
    bool openDevice();
    bool applySettings();
    void closeDevice();
    std::string portName() const;
    Outcome put(std::string_view data, LineTime deadline, std::size_t &accepted,
                std::string &why) override;

    const WinCommApi &m_api;
    PortMap m_ports;
    HANDLE m_handle = INVALID_HANDLE_VALUE;
    int16_t m_commPort = 1;
    LineSettings m_settings;
    // PortOpen as last written. The device may be closed underneath it when it vanished; the
    // next write opens it again.
    bool m_portOpen = false;
    std::chrono::milliseconds m_writeTimeout{1000};
    std::string m_lastRefusal;
    bool m_absent = false; // the last open found no port behind the name
    LineWriter m_writer;
    DWORD m_appliedTimeout = 0; // the write timeout the driver has now, in milliseconds
};

} // namespace rz417
