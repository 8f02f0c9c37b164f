// A meter on a serial line: QSerialPort, 8N1 without flow control.
#include "meter/Meters.h"

#include <QSerialPort>

namespace rz417::meter {
namespace {

class SerialMeter : public measure::Meter
{
public:
    explicit SerialMeter(MeterStop stopped) : m_stopped(std::move(stopped)) {}
    bool connect(const battery::MeterAddress &address, std::string &why)
    {
        if (address.device.find_first_not_of("0123456789") == std::string::npos) {
            why = "give the meter's serial device as a path on this system, such as "
                  "serial:/dev/ttyUSB0";
            return false;
        }
        m_port.setPortName(QString::fromStdString(address.device));
        m_port.setBaudRate(address.baud);
        m_port.setDataBits(QSerialPort::Data8);
        m_port.setParity(QSerialPort::NoParity);
        m_port.setStopBits(QSerialPort::OneStop);
        m_port.setFlowControl(QSerialPort::NoFlowControl);
        if (m_port.open(QIODevice::ReadWrite))
            return true;
        why = m_port.errorString().toStdString();
        return false;
    }
    std::optional<std::string> ask(const std::string &query, std::string &why) override
    {
        // False only when the line failed: a wait that timed out is no failure.
        return readAnswer(
            m_port, query, why,
            [this](int ms) {
                if (m_port.waitForReadyRead(ms))
                    return true;
                const QSerialPort::SerialPortError error = m_port.error();
                m_port.clearError();
                return error == QSerialPort::NoError || error == QSerialPort::TimeoutError;
            },
            m_stopped);
    }

private:
    QSerialPort m_port;
    MeterStop m_stopped;
};

} // namespace

std::unique_ptr<measure::Meter> connectSerialMeter(const battery::MeterAddress &address,
                                                   std::string &why, MeterStop stopped)
{
    auto meter = std::make_unique<SerialMeter>(std::move(stopped));
    return meter->connect(address, why) ? std::move(meter) : nullptr;
}

} // namespace rz417::meter
