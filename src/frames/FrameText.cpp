#include "frames/FrameText.h"

#include "program/LocalTime.h"

#include <ctime>

namespace rz417 {

std::string clockText(std::chrono::system_clock::time_point time)
{
    const std::time_t seconds = std::chrono::system_clock::to_time_t(time);
    const auto millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(time.time_since_epoch()).count() %
        1000;
    long offset = 0;
    const std::tm local = localCalendar(seconds, offset);
    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", local.tm_hour, local.tm_min,
                  local.tm_sec, static_cast<int>(millis));
    return text;
}

std::string frameLineText(std::chrono::system_clock::time_point time, const std::string &frame,
                          const std::string &meaning, const FrameSource &from)
{
    std::string text = clockText(time) + " TX " + frame + " " + meaning;
    if (from.step > 0)
        text +=
            "  (step " + std::to_string(from.step) + ", line " + std::to_string(from.line) + ")";
    return text;
}

} // namespace rz417
