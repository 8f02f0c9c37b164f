#pragma once

#include "link/HostControl.h"
#include "link/LineSettings.h"
#include "link/LineWriter.h"
#include "link/PortMap.h"

#include <QObject>
#include <QSerialPort>

#include <chrono>

namespace rz417 {

// The serial control on top of QSerialPort. Writes are synchronous: setOutput returns once the
// whole string is in the operating system's hands, or raises CommError. They go to the device
// itself rather than through QSerialPort's buffer, which would hide how much of a frame the
// driver took: the line writer must know that to keep frames whole.
class SerialPortControl : public QObject, public HostControl, private ByteLine
{
    Q_OBJECT

public:
    explicit SerialPortControl(PortMap ports, QObject *parent = nullptr);
    ~SerialPortControl() override;

    void setCommPort(int16_t port) override;
    void setSettings(const std::string &settings) override;
    void setPortOpen(bool open) override;
    void setOutput(const std::string &data) override;

    // Closes the device, if open, and drops its lock; used when the program ends. False when
    // what was written may not have left the line (the device is closed all the same).
    bool release() override;

    void setWriteTimeout(std::chrono::milliseconds timeout) { m_writeTimeout = timeout; }

    // Whether the device is open right now (false while it is lost).
    bool isDeviceOpen() const { return m_port.isOpen(); }

private:
    bool openDevice();
    bool applySettings();
    // Waits until every byte written has left the device, as closing or a change of settings
    // must; false when the device failed to say so.
    bool drainLine();
    void onErrorOccurred(QSerialPort::SerialPortError error);
    void discardInput();
    void markLost();
    Outcome put(std::string_view data, LineTime deadline, std::size_t &accepted,
                std::string &why) override;

    PortMap m_ports;
    QSerialPort m_port;
    int16_t m_commPort = 1;
    LineSettings m_settings;
    // PortOpen as last written. The device may be closed underneath it when it vanished; the
    // next write opens it again.
    bool m_portOpen = false;
    std::chrono::milliseconds m_writeTimeout{1000};
    QString m_lastRefusal; // why the last open failed
    LineWriter m_writer;
};

} // namespace rz417
