#pragma once

#include "link/PortMap.h"

#include <cstdint>
#include <string>

namespace rz417::cli {

// The port a -p word (or RZ417_PORT) names: a number in the panel's numbering or a device path.
struct PortChoice
{
    PortMap map;        // what the serial control opens
    int16_t number = 0; // the number to open in map
    std::string label;  // for messages: "port 2 (/dev/ttyUSB1)", "/dev/ttyUSB1"
    std::string error;  // what is wrong with the word; the rest is unset then
};
PortChoice choosePort(const std::string &word, const PortMap &host);

} // namespace rz417::cli
