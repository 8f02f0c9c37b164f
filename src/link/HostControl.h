#pragma once

#include "link/CommControl.h"
#include "link/PortMap.h"

#include <memory>

namespace rz417 {

// The serial control the panel and rz417ctl use on this host.
class HostControl : public CommControl
{
public:
    // Closes the device, if open, once what was written has left; used when the program ends.
    // Raises nothing.
    virtual void release() = 0;
};

// QSerialPort on Linux, the Win32 communications API on Windows.
std::unique_ptr<HostControl> makeHostControl(PortMap ports);

} // namespace rz417
