#include "ctl/Meters.h"

#include <QElapsedTimer>
#include <QSerialPort>
#include <QTcpSocket>

#include <functional>

namespace rz417::cli {
namespace {

constexpr int kAnswerMs = 2000;

// Reads one line from a device within the time left; the reason when none came.
std::optional<std::string> readAnswer(QIODevice &device, const std::string &query, std::string &why,
                                      const std::function<bool(int)> &waitForReadyRead)
{
    const QByteArray text = QByteArray::fromStdString(query) + '\n';
    if (device.write(text) != text.size()) {
        why = "the query could not be sent: " + device.errorString().toStdString();
        return std::nullopt;
    }
    QElapsedTimer timer;
    timer.start();
    while (!device.canReadLine()) {
        const qint64 left = kAnswerMs - timer.elapsed();
        if (left <= 0 || !waitForReadyRead(static_cast<int>(left))) {
            why = timer.elapsed() >= kAnswerMs
                      ? "no answer within 2 s"
                      : "the connection ended (" + device.errorString().toStdString() + ")";
            return std::nullopt;
        }
    }
    QByteArray line = device.readLine();
    while (line.endsWith('\n') || line.endsWith('\r'))
        line.chop(1);
    return line.toStdString();
}

class SocketMeter : public battery::Meter
{
public:
    bool connect(const battery::MeterAddress &address, std::string &why)
    {
        m_socket.connectToHost(QString::fromStdString(address.host), address.port);
        if (m_socket.waitForConnected(kAnswerMs))
            return true;
        why = m_socket.errorString().toStdString();
        return false;
    }
    std::optional<std::string> ask(const std::string &query, std::string &why) override
    {
        if (m_socket.state() != QAbstractSocket::ConnectedState) {
            why = "the connection ended";
            return std::nullopt;
        }
        return readAnswer(m_socket, query, why,
                          [this](int ms) { return m_socket.waitForReadyRead(ms); });
    }

private:
    QTcpSocket m_socket;
};

class SerialMeter : public battery::Meter
{
public:
    bool connect(const battery::MeterAddress &address, std::string &why)
    {
        const bool number = address.device.find_first_not_of("0123456789") == std::string::npos;
#ifdef _WIN32
        const std::string name = number ? "COM" + address.device : address.device;
#else
        if (number) {
            why = "give the meter's serial device as a path on this system, such as "
                  "serial:/dev/ttyUSB0";
            return false;
        }
        const std::string name = address.device;
#endif
        m_port.setPortName(QString::fromStdString(name));
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
        return readAnswer(m_port, query, why,
                          [this](int ms) { return m_port.waitForReadyRead(ms); });
    }

private:
    QSerialPort m_port;
};

} // namespace

std::unique_ptr<battery::Meter> connectMeter(const battery::MeterAddress &address, std::string &why)
{
    if (address.kind == battery::MeterAddress::Kind::Socket) {
        auto meter = std::make_unique<SocketMeter>();
        return meter->connect(address, why) ? std::move(meter) : nullptr;
    }
    auto meter = std::make_unique<SerialMeter>();
    return meter->connect(address, why) ? std::move(meter) : nullptr;
}

} // namespace rz417::cli
