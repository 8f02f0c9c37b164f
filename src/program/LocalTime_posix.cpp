#include "program/LocalTime.h"

namespace rz417 {

std::tm localCalendar(std::time_t seconds, long &utcOffsetMinutes)
{
    std::tm tm = {};
    ::localtime_r(&seconds, &tm);
    utcOffsetMinutes = tm.tm_gmtoff / 60;
    return tm;
}

} // namespace rz417
