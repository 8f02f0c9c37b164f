#pragma once

#include "link/SerialControl.h"

#include <QObject>
#include <QSerialPort>


namespace rz417 {

// The serial control on top of QSerialPort. Writes are synchronous: setOutput returns once the
// whole string is in the operating system's hands, or raises CommError. They go to the device
// itself rather than through QSerialPort's buffer, which would hide how much of a frame the
// driver took: the line writer must know that to keep frames whole.
class SerialPortControl : public QObject, public SerialControl
{
    Q_OBJECT

public:
    explicit SerialPortControl(PortMap ports, QObject *parent = nullptr);
    ~SerialPortControl() override;

    void setPortOpen(bool open) override;

    // Closes the device, if open, and drops its lock; used when the program ends. False when
    // what was written may not have left the line (the device is closed all the same).
    bool release() override;

    bool isDeviceOpen() const override { return m_port.isOpen(); }

private:
    void applyNewSettings() override;
    bool reopenDevice() override { return openDevice(); }
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

    QSerialPort m_port;
    QString m_lastRefusal; // why the last open failed
};

} // namespace rz417
