#include "scpinet/ListenAddress.h"

namespace rz417::scpinet {

std::optional<QHostAddress> listenHost(const std::string &address, std::string &where)
{
    QHostAddress host(QString::fromStdString(address));
    bool mapped = false;
    const quint32 ipv4 = host.toIPv4Address(&mapped);
    if (mapped && host.protocol() == QAbstractSocket::IPv6Protocol)
        host = QHostAddress(ipv4);
    if (host.isNull())
        return std::nullopt;
    const std::string text = host.toString().toStdString();
    where = host.protocol() == QAbstractSocket::IPv6Protocol ? "[" + text + "]" : text;
    return host;
}

} // namespace rz417::scpinet
