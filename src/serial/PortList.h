#pragma once

#include "link/PortMap.h"

#include <string>

namespace rz417 {

// The numbered ports, one a line: number, path, what the system says about the device and
// whether it is free, in use (by which process) or not permitted. On Windows the COM ports the
// system knows, by number, whatever the map.
std::string portListText(const PortMap &ports);

} // namespace rz417
