#pragma once

#include "link/HostControl.h"
#include "link/LineSettings.h"
#include "link/LineWriter.h"
#include "link/PortMap.h"

#include <chrono>
#include <string>

namespace rz417 {

// What every serial control shares, whatever the system underneath: the port number, the line
// settings and PortOpen as last written, and writes that keep frames whole through the line
// writer. A system's control opens, configures, writes to and closes its device.
class SerialControl : public HostControl, protected ByteLine
{
public:
    explicit SerialControl(PortMap ports) : m_ports(std::move(ports))
    {
        m_writer.guardFor(guardKey());
    }

    void setCommPort(int16_t port) override;
    void setSettings(const std::string &settings) override;
    // Sends the characters unchanged once the whole string is in the driver's hands, or raises
    // CommError; a device that vanished and came back under its number is opened again first.
    void setOutput(const std::string &data) override;

    void setWriteTimeout(std::chrono::milliseconds timeout) { m_writeTimeout = timeout; }
    // Whether the device is open right now (false while it is lost).
    virtual bool isDeviceOpen() const = 0;

protected:
    // The open device takes the settings just written; raises CommError when it does not.
    virtual void applyNewSettings() = 0;
    // Opens the device again after it vanished; false when it did not open.
    virtual bool reopenDevice() = 0;
    // Just before a frame is written.
    virtual void beforeWrite() {}
    // This line as the crash guard and the frame path know it.
    const void *guardKey() const { return static_cast<const CommControl *>(this); }

    const PortMap m_ports;
    int16_t m_commPort = 1;
    LineSettings m_settings;
    // PortOpen as last written. The device may be closed underneath it when it vanished; the
    // next write opens it again.
    bool m_portOpen = false;
    std::chrono::milliseconds m_writeTimeout{1000};
    LineWriter m_writer;
};

} // namespace rz417
