#include "support/ProcStatus.h"

#include <fstream>
#include <string>
#include <unistd.h>

namespace rz417::bench {

Resident residentOf(pid_t pid)
{
    Resident r;
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string key;
    while (status >> key) {
        if (key == "VmRSS:")
            status >> r.currentKiB;
        else if (key == "VmHWM:")
            status >> r.peakKiB;
        std::getline(status, key);
    }
    return r;
}

Resident residentOfSelf()
{
    return residentOf(::getpid());
}

} // namespace rz417::bench
