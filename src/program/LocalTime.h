#pragma once

#include <ctime>

namespace rz417 {

// The local calendar time of an instant and its offset from UTC in minutes, east positive.
std::tm localCalendar(std::time_t seconds, long &utcOffsetMinutes);

} // namespace rz417
