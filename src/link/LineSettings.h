#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace rz417 {

enum class Parity { None, Even, Odd, Mark, Space };
enum class StopBits { One, OneAndHalf, Two };

struct LineSettings
{
    int32_t baudRate = 115200;
    Parity parity = Parity::None;
    int dataBits = 8;
    StopBits stopBits = StopBits::One;

    bool operator==(const LineSettings &other) const
    {
        return baudRate == other.baudRate && parity == other.parity && dataBits == other.dataBits &&
               stopBits == other.stopBits;
    }
};

// The RZ-417's line: 115200 baud, no parity, 8 data bits, 1 stop bit.
constexpr const char *kLoadLineSettings = "115200 N 8 1";

// Parses "115200 N 8 1" or "115200,N,8,1": baud, parity (N E O M S), data bits (5 to 8), stop
// bits (1, 1.5, 2). Anything else gives nothing.
std::optional<LineSettings> parseLineSettings(const std::string &text);

} // namespace rz417
