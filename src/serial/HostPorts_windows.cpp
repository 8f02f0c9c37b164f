#include "serial/HostPorts.h"

namespace rz417 {

PortMap hostPortMap()
{
    return PortMap::windows();
}

} // namespace rz417
