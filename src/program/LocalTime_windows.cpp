#include "program/LocalTime.h"

namespace rz417 {

namespace {

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar.
long daysFromCivil(long year, long month, long day)
{
    year -= month <= 2 ? 1 : 0;
    const long era = (year >= 0 ? year : year - 399) / 400;
    const long yearOfEra = year - era * 400;
    const long dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const long dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

long minutesOf(const std::tm &tm)
{
    return (daysFromCivil(tm.tm_year + 1900L, tm.tm_mon + 1L, tm.tm_mday) * 24 + tm.tm_hour) * 60 +
           tm.tm_min;
}

} // namespace

std::tm localCalendar(std::time_t seconds, long &utcOffsetMinutes)
{
    // The C runtime here keeps no UTC offset in std::tm: the offset is local minus UTC.
    std::tm local = {};
    std::tm utc = {};
    ::localtime_s(&local, &seconds);
    ::gmtime_s(&utc, &seconds);
    utcOffsetMinutes = minutesOf(local) - minutesOf(utc);
    return local;
}

} // namespace rz417
