#pragma once

#include "link/CommControl.h"

namespace rz417 {

// The serial control the panel and rz417ctl use on this host.
class HostControl : public CommControl
{
public:
    // Closes the device, if open, once what was written has left; used when the program ends.
    // Raises nothing: false when what was written may not have left the line.
    virtual bool release() = 0;
};

} // namespace rz417
