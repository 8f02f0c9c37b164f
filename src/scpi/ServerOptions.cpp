#include "scpi/ServerOptions.h"

#include "protocol/SetpointValue.h"
#include "scpi/Watchdog.h"

namespace rz417::scpi {

namespace {

bool isDigits(std::string_view text)
{
    return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

// An IPv4 address in dotted decimal.
bool isIpv4(std::string_view text)
{
    int parts = 0;
    while (true) {
        const auto dot = text.find('.');
        const std::string_view part = text.substr(0, dot);
        if (!isDigits(part) || part.size() > 3 || std::stoi(std::string(part)) > 255)
            return false;
        ++parts;
        if (dot == std::string_view::npos)
            break;
        text.remove_prefix(dot + 1);
    }
    return parts == 4;
}

} // namespace

std::string parseListen(const std::string &text, std::string &address, uint16_t &port,
                        const std::string &takes)
{
    const std::string allowed = takes +
                                " takes [ADDRESS:]TCPPORT: 5025, 127.0.0.1:5025, "
                                "0.0.0.0:5025 (every interface) or [::1]:5025; TCPPORT from 0 "
                                "(any free port) to 65535";
    const auto colon = text.rfind(':');
    std::string host = "127.0.0.1";
    std::string number = text;
    if (colon != std::string::npos) {
        host = text.substr(0, colon);
        number = text.substr(colon + 1);
        if (host.size() > 2 && host.front() == '[' && host.back() == ']') {
            host = host.substr(1, host.size() - 2);
            if (host.find_first_not_of("0123456789abcdefABCDEF:.") != std::string::npos ||
                host.find(':') == std::string::npos)
                return quotedWord(text) +
                       " does not hold an IPv6 address in its brackets: " + allowed;
        } else if (host == "localhost") {
            host = "127.0.0.1";
        } else if (!isIpv4(host)) {
            return quotedWord(host) + " is not an IP address: " + allowed;
        }
    }
    const Fixed value = parseFixed(number, 0, 0, 65535);
    if (!isDigits(number) || value.error != FixedError::None)
        return quotedWord(number) + " is not a TCP port: " + allowed;
    address = host;
    port = static_cast<uint16_t>(value.value);
    return {};
}

std::string parseWatchdog(const std::string &text, int &seconds, const std::string &takes)
{
    using scpi::Watchdog;
    const std::string allowed = takes + " takes whole seconds from " +
                                std::to_string(Watchdog::kMinDelay) + " to " +
                                std::to_string(Watchdog::kMaxDelay) +
                                " without a SCPI message, after which the input goes off: 60 "
                                "or 60s";
    const std::string number =
        !text.empty() && text.back() == 's' ? text.substr(0, text.size() - 1) : text;
    const Fixed value = parseFixed(number, 0, 0, Watchdog::kMaxDelay);
    if (!isDigits(number) || value.error != FixedError::None || value.value < Watchdog::kMinDelay)
        return quotedWord(text) + " is not a watchdog delay: " + allowed;
    seconds = static_cast<int>(value.value);
    return {};
}

} // namespace rz417::scpi
