#include "meter/Meters.h"

#include "measure/RunEnd.h"

#include <QElapsedTimer>
#include <QTcpSocket>

#include <algorithm>
#include <functional>

namespace rz417::meter {

std::string noAnswerText()
{
    return "no answer within " + std::to_string(kAnswerMs / 1000) + " s";
}

namespace {

// A stop is looked at this often while an answer is awaited.
constexpr qint64 kStopLookMs = 50;

} // namespace

std::optional<std::string> readAnswer(QIODevice &device, const std::string &query, std::string &why,
                                      const std::function<bool(int)> &waitForReadyRead,
                                      const MeterStop &stopped)
{
    // An answer that came too late, or a line more than was asked for, would be read as the
    // answer to this query and shift every reading after it.
    for (;;) {
        device.readAll();
        if (!waitForReadyRead(0) || device.bytesAvailable() == 0)
            break;
    }
    const QByteArray text = QByteArray::fromStdString(query) + '\n';
    if (device.write(text) != text.size()) {
        why = "the query could not be sent: " + device.errorString().toStdString();
        return std::nullopt;
    }
    // The two seconds count from the query, however the answer trickles in.
    QElapsedTimer timer;
    timer.start();
    while (!device.canReadLine()) {
        if (stopped && stopped()) {
            why = "stopped while the meter was asked";
            return std::nullopt;
        }
        const qint64 left = kAnswerMs - timer.elapsed();
        if (left <= 0) {
            why = noAnswerText();
            return std::nullopt;
        }
        if (!waitForReadyRead(static_cast<int>(std::min(left, kStopLookMs)))) {
            why = "the connection ended (" + device.errorString().toStdString() + ")";
            return std::nullopt;
        }
    }
    QByteArray line = device.readLine();
    while (line.endsWith('\n') || line.endsWith('\r'))
        line.chop(1);
    return line.toStdString();
}

namespace {

class SocketMeter : public measure::Meter
{
public:
    explicit SocketMeter(MeterStop stopped) : m_stopped(std::move(stopped)) {}
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
        // False only when the connection ended: a wait that timed out is no failure.
        return readAnswer(
            m_socket, query, why,
            [this](int ms) {
                return m_socket.waitForReadyRead(ms) ||
                       m_socket.state() == QAbstractSocket::ConnectedState;
            },
            m_stopped);
    }

private:
    QTcpSocket m_socket;
    MeterStop m_stopped;
};

} // namespace

std::unique_ptr<measure::Meter> connectMeter(const battery::MeterAddress &address, std::string &why,
                                             MeterStop stopped)
{
    if (address.kind == battery::MeterAddress::Kind::Socket) {
        auto meter = std::make_unique<SocketMeter>(std::move(stopped));
        return meter->connect(address, why) ? std::move(meter) : nullptr;
    }
    return connectSerialMeter(address, why, std::move(stopped));
}

std::unique_ptr<measure::Meter> greetMeter(const battery::MeterAddress &address,
                                           std::string &identity, std::string &why,
                                           MeterStop stopped)
{
    auto meter = connectMeter(address, why, std::move(stopped));
    std::optional<std::string> answer;
    if (meter)
        answer = meter->ask(measure::kIdentityQuery, why);
    if (!answer)
        return nullptr;
    identity = *answer;
    return meter;
}

} // namespace rz417::meter
