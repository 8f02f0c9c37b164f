#include "serial/HostPorts.h"

#include "serial/SerialPortControl.h"

namespace rz417 {

std::unique_ptr<HostControl> makeHostControl(PortMap ports)
{
    return std::make_unique<SerialPortControl>(std::move(ports));
}

} // namespace rz417
