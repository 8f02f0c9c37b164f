#include "program/Journal.h"

#include "program/LocalTime.h"

namespace rz417 {

namespace {

std::string two(long value)
{
    return (value < 10 ? "0" : "") + std::to_string(value);
}

// ISO 8601 local time with milliseconds and the UTC offset.
std::string localTime(std::chrono::system_clock::time_point time)
{
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(time.time_since_epoch());
    std::time_t seconds = static_cast<std::time_t>(ms.count() / 1000);
    long millis = static_cast<long>(ms.count() % 1000);
    if (millis < 0) {
        millis += 1000;
        --seconds;
    }
    long offset = 0;
    const std::tm tm = localCalendar(seconds, offset);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%S", &tm);
    const long absOffset = offset < 0 ? -offset : offset;
    std::string text = stamp;
    text +=
        "." + std::string(millis < 100 ? (millis < 10 ? "00" : "0") : "") + std::to_string(millis);
    text += (offset < 0 ? "-" : "+") + two(absOffset / 60) + ":" + two(absOffset % 60);
    return text;
}

std::string csvField(const std::string &text)
{
    if (text.find_first_of(",\"\r\n") == std::string::npos)
        return text;
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"')
            out += '"';
        out += c;
    }
    return out + "\"";
}

std::string number(int value)
{
    return value > 0 ? std::to_string(value) : std::string();
}

} // namespace

std::string journalHeader()
{
    return "time,source,step,line,frame,meaning,result\n";
}

std::string journalLine(const JournalEntry &entry)
{
    return localTime(entry.time) + "," + csvField(entry.source) + "," + number(entry.step) + "," +
           number(entry.line) + "," + csvField(entry.frame) + "," + csvField(entry.meaning) + "," +
           csvField(entry.result) + "\n";
}

} // namespace rz417
