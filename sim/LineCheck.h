#pragma once

#include <optional>
#include <string>

#include <termios.h>

namespace rz417::sim {

// The line settings that matter to the instrument, as read from the terminal.
struct LineSettings
{
    long baud = 0; // 0 when the speed is not one of the standard rates
    int dataBits = 8;
    char parity = 'N'; // N, E, O, M or S
    int stopBits = 1;

    bool operator==(const LineSettings &other) const
    {
        return baud == other.baud && dataBits == other.dataBits && parity == other.parity &&
               stopBits == other.stopBits;
    }
};

LineSettings lineSettings(const termios &attributes);

// "115200 baud 8N1"; an unknown speed reads "non-standard baud".
std::string describe(const LineSettings &settings);

// One line saying what is wrong when the line is not at 115200 baud 8N1; empty when it is.
std::optional<std::string> lineProblem(const LineSettings &settings);

} // namespace rz417::sim
