#pragma once

#include <sys/types.h>

namespace rz417::bench {

// Resident memory of a process from /proc/<pid>/status, in KiB; 0 when it cannot be read.
struct Resident
{
    long currentKiB = 0; // VmRSS
    long peakKiB = 0;    // VmHWM
};

Resident residentOf(pid_t pid);

// KiB as the kernel counts them to megabytes of 10^6 bytes, the unit of the memory budget.
inline double megabytes(long kib)
{
    return static_cast<double>(kib) * 1024.0 / 1e6;
}
Resident residentOfSelf();

} // namespace rz417::bench
