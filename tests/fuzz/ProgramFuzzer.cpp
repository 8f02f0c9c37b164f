// Any bytes as a program file: either refused with problems that name real lines, or a schedule
// whose every step sends six-character frames, starts where the one before it ended and lasts
// no more than a day.
#include "program/Program.h"
#include "program/ProgramRun.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char *>(data), size);
    const rz417::Program program = rz417::parseProgram(bytes);
    std::size_t lines = 1;
    for (const char c : bytes)
        lines += c == '\n';
    for (const rz417::ProgramProblem &problem : program.problems) {
        if (problem.line < 0 || static_cast<std::size_t>(problem.line) > lines ||
            problem.message.empty())
            std::abort();
    }
    if (!program.problems.empty())
        return 0;
    if (program.steps.empty())
        std::abort();
    std::chrono::milliseconds start{0};
    for (const rz417::ProgramStep &step : program.steps) {
        if (step.start != start || step.dwell > std::chrono::hours(24))
            std::abort();
        start += step.dwell;
        const auto frames = rz417::stepFrames(step);
        if (frames.empty())
            std::abort();
        for (const rz417::StepFrame &frame : frames) {
            if (frame.frame.size() != 6 || frame.meaning.empty())
                std::abort();
        }
    }
    return 0;
}
