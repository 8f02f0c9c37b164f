#include "meter/Meters.h"

#include <QElapsedTimer>
#include <QTcpSocket>

#include <functional>

namespace rz417::meter {

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

namespace {

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

} // namespace

std::unique_ptr<battery::Meter> connectMeter(const battery::MeterAddress &address, std::string &why)
{
    if (address.kind == battery::MeterAddress::Kind::Socket) {
        auto meter = std::make_unique<SocketMeter>();
        return meter->connect(address, why) ? std::move(meter) : nullptr;
    }
    return connectSerialMeter(address, why);
}

} // namespace rz417::meter
