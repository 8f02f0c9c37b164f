#pragma once

#include "link/HostControl.h"
#include "link/PortMap.h"

#include <memory>

namespace rz417 {

// Port numbers of this host: COMn on Windows; elsewhere the list in RZ417_PORTS when it is set,
// or else the serial devices the system lists, USB adapters first.
PortMap hostPortMap();

// The serial control of this host: QSerialPort on Linux, the Win32 communications API on Windows.
std::unique_ptr<HostControl> makeHostControl(PortMap ports);

} // namespace rz417
