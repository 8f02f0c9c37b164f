#include "battery/BatteryWords.h"

#include "protocol/SetpointValue.h"

#include <array>
#include <cctype>
#include <charconv>
#include <cmath>

namespace rz417::battery {
namespace {

struct Unit
{
    std::string_view name; // compared without regard to case
    int exponent;          // of ten, to the base unit
    int64_t factor;        // beyond that: 60 for minutes
};

bool endsWithUnit(std::string_view text, std::string_view unit)
{
    if (text.size() < unit.size())
        return false;
    const std::string_view tail = text.substr(text.size() - unit.size());
    for (std::size_t i = 0; i < unit.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(tail[i])) !=
            std::tolower(static_cast<unsigned char>(unit[i])))
            return false;
    }
    return true;
}

// A plain decimal number and one of units (the longest that fits; none means the first), as a
// whole number of 10^-decimals of the base unit, rounded a half to even.
template <std::size_t N>
std::optional<int64_t> parseQuantity(std::string_view text, const std::array<Unit, N> &units,
                                     int decimals, std::string_view what, std::string_view allowed,
                                     std::string &why)
{
    const Unit *unit = &units[0];
    std::string_view number = text;
    std::size_t longest = 0;
    for (const Unit &u : units) {
        if (!u.name.empty() && u.name.size() > longest && endsWithUnit(text, u.name)) {
            unit = &u;
            longest = u.name.size();
            number = text.substr(0, text.size() - u.name.size());
        }
    }
    constexpr int64_t kLimit = int64_t(1) << 50;
    const Fixed fixed = roundFixed(number, decimals, unit->exponent, kLimit);
    if (fixed.error != FixedError::None || fixed.value <= 0 ||
        fixed.value > kLimit / unit->factor) {
        why = quotedWord(text) + " is not " + std::string(what) + ": " + std::string(allowed);
        return std::nullopt;
    }
    return fixed.value * unit->factor;
}

} // namespace

std::optional<int64_t> parseCapacity(std::string_view text, std::string &why)
{
    static const std::array<Unit, 3> units{{{"", 0, 1}, {"Ah", 0, 1}, {"mAh", -3, 1}}};
    return parseQuantity(text, units, 6, "a capacity",
                         "give ampere-hours above 0, such as 2.5, 2.5Ah or 2500mAh", why);
}

std::optional<int64_t> parseEnergy(std::string_view text, std::string &why)
{
    static const std::array<Unit, 3> units{{{"", 0, 1}, {"Wh", 0, 1}, {"mWh", -3, 1}}};
    return parseQuantity(text, units, 3, "an energy",
                         "give watt-hours above 0, such as 10, 10Wh or 500mWh", why);
}

std::optional<int64_t> parseVolts(std::string_view text, std::string &why)
{
    static const std::array<Unit, 3> units{{{"", 0, 1}, {"V", 0, 1}, {"mV", -3, 1}}};
    return parseQuantity(text, units, 3, "a voltage",
                         "give volts above 0, such as 3.0, 3V or 3000mV", why);
}

std::optional<int64_t> parseDuration(std::string_view text, std::string &why)
{
    // Thousandths of the unit, then milliseconds: a minute is 60 of them, an hour 3600.
    static const std::array<Unit, 5> units{
        {{"", 0, 1}, {"s", 0, 1}, {"ms", -3, 1}, {"min", 0, 60}, {"h", 0, 3600}}};
    return parseQuantity(text, units, 3, "a duration",
                         "give a time above 0, such as 90, 90s, 45min or 1.5h", why);
}

std::optional<MeterAddress> parseMeterAddress(std::string_view text, std::string &why)
{
    const std::string allowed = "give HOST:PORT (a raw SCPI socket, such as "
                                "192.168.1.20:5025) or serial:DEVICE[@BAUD] (such as "
                                "serial:/dev/ttyUSB0@9600 or serial:3)";
    MeterAddress address;
    constexpr std::string_view kSerial = "serial:";
    if (text.substr(0, kSerial.size()) == kSerial) {
        address.kind = MeterAddress::Kind::Serial;
        std::string_view device = text.substr(kSerial.size());
        if (const auto at = device.rfind('@'); at != std::string_view::npos) {
            const std::string_view baud = device.substr(at + 1);
            const Fixed value = parseFixed(baud, 0, 0, 4000000);
            if (value.error != FixedError::None || value.value < 50) {
                why = quotedWord(text) + " has no baud rate after '@': " + allowed;
                return std::nullopt;
            }
            address.baud = static_cast<int>(value.value);
            device = device.substr(0, at);
        }
        if (device.empty()) {
            why = quotedWord(text) + " names no device: " + allowed;
            return std::nullopt;
        }
        address.device = std::string(device);
        return address;
    }
    const auto colon = text.rfind(':');
    const Fixed port = colon == std::string_view::npos
                           ? Fixed{FixedError::NotANumber, 0}
                           : parseFixed(text.substr(colon + 1), 0, 0, 65535);
    std::string_view host = colon == std::string_view::npos ? text : text.substr(0, colon);
    if (host.size() > 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    if (port.error != FixedError::None || port.value == 0 || host.empty() ||
        host.find_first_of(" \t/") != std::string_view::npos) {
        why = quotedWord(text) + " is no meter address: " + allowed;
        return std::nullopt;
    }
    address.host = std::string(host);
    address.port = static_cast<uint16_t>(port.value);
    return address;
}

std::optional<double> parseReading(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
        text.remove_suffix(1);
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    // 9.9E37 is SCPI's "not a number", and an overload is no voltage either.
    if (text.empty() || error != std::errc() || end != text.data() + text.size() ||
        !std::isfinite(value) || std::fabs(value) >= 9.9e37)
        return std::nullopt;
    return value;
}

} // namespace rz417::battery
