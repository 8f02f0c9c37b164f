#pragma once

#include <QHostAddress>

#include <optional>
#include <string>

namespace rz417::scpinet {

// The address a server listens on, as the system takes it, and how to write it before its port
// ("127.0.0.1", "[::1]"). An IPv4 address written as IPv6 (::ffff:127.0.0.1) is that IPv4
// address: the system listens on it only in that form. Nothing when it is no address the
// system takes.
std::optional<QHostAddress> listenHost(const std::string &address, std::string &where);

} // namespace rz417::scpinet
