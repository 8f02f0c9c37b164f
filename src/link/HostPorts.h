#pragma once

#include "link/PortMap.h"

namespace rz417 {

// Port numbers of this host: COMn on Windows; elsewhere the list in RZ417_PORTS when it is set,
// or else the serial devices the system lists, USB adapters first.
PortMap hostPortMap();

} // namespace rz417
