#pragma once

#include "program/HostSleep.h"

#include <memory>
#include <string>

namespace rz417 {

// This host's means of holding sleep off; who names the program to the system ("rz417ctl").
// On Linux it needs the application object, for Qt DBus.
std::unique_ptr<SleepInhibitor> hostSleepInhibitor(const std::string &who);

} // namespace rz417
