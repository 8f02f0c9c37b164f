#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace rz417::battery {

// What a meter is asked for the voltage unless told otherwise.
constexpr const char *kDefaultMeterQuery = "MEAS:VOLT:DC?";

// The words of a battery test, read as the command line and the window take them. Each gives
// nothing and says in why what is wrong and what is allowed.

// A capacity in micro-ampere-hours: "2.5", "2.5Ah", "2500mAh".
std::optional<int64_t> parseCapacity(std::string_view text, std::string &why);
// An energy in milliwatt-hours: "10", "10Wh", "500mWh".
std::optional<int64_t> parseEnergy(std::string_view text, std::string &why);
// A cut-off voltage in millivolts: "3.0", "3V", "3000mV".
std::optional<int64_t> parseVolts(std::string_view text, std::string &why);
// A duration in milliseconds: "90", "90s", "45min", "1.5h".
std::optional<int64_t> parseDuration(std::string_view text, std::string &why);

// Where the meter is: a raw SCPI socket, or a serial line (8N1).
struct MeterAddress
{
    enum class Kind { Socket, Serial };
    Kind kind = Kind::Socket;
    std::string host;   // Socket
    uint16_t port = 0;  // Socket
    std::string device; // Serial: a port number or a device path, as -p takes it
    int baud = 9600;    // Serial
};

// "HOST:PORT" or "serial:DEVICE[@BAUD]".
std::optional<MeterAddress> parseMeterAddress(std::string_view text, std::string &why);

// A meter's answer: an SCPI number ("+3.71234E+00", "3.712"), its line end already taken off.
std::optional<double> parseReading(std::string_view text);

} // namespace rz417::battery
