#include "serial/HostPorts.h"

#include "link/WinCommControl_windows.h"

namespace rz417 {

std::unique_ptr<HostControl> makeHostControl(PortMap ports)
{
    return std::make_unique<WinCommControl>(std::move(ports));
}

} // namespace rz417
