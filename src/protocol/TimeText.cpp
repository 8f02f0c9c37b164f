#include "protocol/TimeText.h"

#include "protocol/SetpointValue.h"

#include <cmath>
#include <cstdio>

namespace rz417 {

std::string secondsText(std::chrono::milliseconds duration)
{
    std::string text = fixedText(duration.count(), 3);
    text.erase(text.find_last_not_of('0') + 1);
    if (text.back() == '.')
        text.pop_back();
    return text;
}

std::string durationText(std::chrono::milliseconds duration, bool millis)
{
    const long long ms = duration.count();
    char text[48];
    if (millis)
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld.%03lld", ms / 3600000, ms / 60000 % 60,
                      ms / 1000 % 60, ms % 1000);
    else
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", ms / 3600000, ms / 60000 % 60,
                      ms / 1000 % 60);
    return text;
}

std::string durationText(double seconds)
{
    return durationText(std::chrono::milliseconds(std::llround(seconds) * 1000));
}

} // namespace rz417
