#pragma once

#include "frames/FramePath.h"

#include <chrono>
#include <string>

namespace rz417 {

// Local time with milliseconds: "12:00:01.234".
std::string clockText(std::chrono::system_clock::time_point time);

// The line -v prints for a frame: "12:00:01.234 TX 6204D2 CV 12.34 V".
std::string frameLineText(std::chrono::system_clock::time_point time, const std::string &frame,
                          const std::string &meaning, const FrameSource &from);

} // namespace rz417
