#include "scpinet/ClientSocket.h"

#include <QHostAddress>

namespace rz417::scpinet {

std::string ClientSocket::addressText(const sockaddr *address)
{
    const QHostAddress host(address);
    const bool v6 = host.protocol() == QAbstractSocket::IPv6Protocol;
    if (!v6 && host.protocol() != QAbstractSocket::IPv4Protocol)
        return {};
    // Both sockaddr_in and sockaddr_in6 hold the port in network order after the 2-byte family.
    const auto *bytes = reinterpret_cast<const unsigned char *>(address);
    const unsigned port = static_cast<unsigned>(bytes[2]) << 8 | bytes[3];
    const std::string text = host.toString().toStdString();
    return (v6 ? "[" + text + "]" : text) + ":" + std::to_string(port);
}

} // namespace rz417::scpinet
