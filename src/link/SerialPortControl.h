#pragma once

#include "link/HostControl.h"
#include "link/LineSettings.h"
#include "link/PortMap.h"

#include <QObject>
#include <QSerialPort>

#include <chrono>

namespace rz417 {

// The serial control on top of QSerialPort. Writes are synchronous: setOutput returns once the
// whole string is in the operating system's hands, or raises CommError.
class SerialPortControl : public QObject, public HostControl
{
    Q_OBJECT

public:
    explicit SerialPortControl(PortMap ports, QObject *parent = nullptr);
    ~SerialPortControl() override;

    void setCommPort(int16_t port) override;
    void setSettings(const std::string &settings) override;
    void setPortOpen(bool open) override;
    void setOutput(const std::string &data) override;

    // Closes the device, if open, and drops its lock; used when the program ends.
    void release() override;

    void setWriteTimeout(std::chrono::milliseconds timeout) { m_writeTimeout = timeout; }

    // Whether the device is open right now (false while it is lost).
    bool isDeviceOpen() const { return m_port.isOpen(); }

private:
    bool openDevice();
    bool applySettings();
    void onErrorOccurred(QSerialPort::SerialPortError error);
    void discardInput();
    void markLost();

    PortMap m_ports;
    QSerialPort m_port;
    int16_t m_commPort = 1;
    LineSettings m_settings;
    // PortOpen as last written. The device may be closed underneath it when it vanished; the
    // next write opens it again.
    bool m_portOpen = false;
    std::chrono::milliseconds m_writeTimeout{1000};
    QString m_lastRefusal; // why the last open failed
};

} // namespace rz417
