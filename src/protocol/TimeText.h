#pragma once

#include <chrono>
#include <string>

namespace rz417 {

// Seconds as a person writes them: "0.004", "0", "1.5".
std::string secondsText(std::chrono::milliseconds duration);

// Hours, minutes and seconds: "0:00:06"; with millis "0:00:06.250". Whole seconds are cut, not
// rounded.
std::string durationText(std::chrono::milliseconds duration, bool millis = false);

// The same of a figure in seconds, rounded to the nearest second: "0:00:06".
std::string durationText(double seconds);

} // namespace rz417
