#pragma once

#include <cstdint>
#include <string>

// What a SCPI server is told at its start, as rz417ctl serve and the panel's Remote Control take
// it: where it listens and the watchdog's delay.
namespace rz417::scpi {

// The port SCPI instruments listen on for raw socket connections.
constexpr uint16_t kScpiPort = 5025;

// Where a SCPI server listens, as --listen and the panel's Remote Control take it:
// [ADDRESS:]TCPPORT with an IPv4 address, an IPv6 one in brackets or localhost (127.0.0.1 when
// none is given). Empty when it is one, else what is wrong and what is allowed.
std::string parseListen(const std::string &text, std::string &address, uint16_t &port,
                        const std::string &takes = "--listen");

// The watchdog's delay as --watchdog and the panel's Remote Control take it: whole seconds from
// 1 to 3600, with or without s. Empty when it is one, else what is wrong and what is allowed.
std::string parseWatchdog(const std::string &text, int &seconds,
                          const std::string &takes = "--watchdog");

} // namespace rz417::scpi
