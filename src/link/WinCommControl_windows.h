#pragma once

#include "link/SerialControl.h"
#include "link/WinCommApi_windows.h"

#include <chrono>
#include <string>

namespace rz417 {

// The serial control on the Win32 communications API. Port n is COMn (\\.\COMn, so that COM10
// and up open too). Writes are synchronous and bounded: setOutput returns once the whole string
// is in the driver's hands, or raises CommError.
class WinCommControl : public SerialControl
{
public:
    explicit WinCommControl(PortMap ports, const WinCommApi &api = win32CommApi());
    ~WinCommControl() override;
    WinCommControl(const WinCommControl &) = delete;
    WinCommControl &operator=(const WinCommControl &) = delete;

    void setPortOpen(bool open) override;
    bool release() override;

    bool isDeviceOpen() const override { return m_handle != INVALID_HANDLE_VALUE; }

private:
    void applyNewSettings() override;
    bool reopenDevice() override { return openDevice(); }
    void beforeWrite() override;
    // Opens and configures the device; false with the reason in m_lastRefusal.
    bool openDevice();
    bool applySettings();
    void closeDevice();
    std::string portName() const;
    Outcome put(std::string_view data, LineTime deadline, std::size_t &accepted,
                std::string &why) override;

    const WinCommApi &m_api;
    HANDLE m_handle = INVALID_HANDLE_VALUE;
    std::string m_lastRefusal;
    bool m_absent = false; // the last open found no port behind the name
    DWORD m_appliedTimeout = 0; // the write timeout the driver has now, in milliseconds
};

} // namespace rz417
