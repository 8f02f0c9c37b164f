#pragma once

#include "protocol/TimeText.h"

#include "program/Program.h"
#include "program/ProgramRun.h"

#include <chrono>
#include <string>
#include <vector>

namespace rz417::cli {

// What a step does: "CC 2.000 A, input on", "input off", "no change".
std::string stepText(const ProgramStep &step);

// A dry run of a program: each frame of each pass at its time from the start,
// "+0:01:00.000  step 2 (line 3)  TX 630096 CC 1.50 A", then the end. A run until interrupted
// shows one pass and says that it starts again.
std::vector<std::string> scheduleText(const Program &program, int passes);

// The progress line of a run: "step 2 of 4: CC 2.000 A, input on | 0:01:05 elapsed,
// 0:00:55 left | repeat 1 of 3".
std::string progressText(const Program &program, const ProgramRun &run, SteadyTime now);

} // namespace rz417::cli
