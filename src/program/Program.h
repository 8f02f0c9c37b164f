#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace rz417 {

// One row of a setpoint program: at its start it sends its setpoint frame (when it has a mode),
// then its input frame (when it has one), and lasts its dwell.
struct ProgramStep
{
    int line = 0;                 // where the row stands in the file, from 1
    int16_t mode = 0;             // 1 to 4; 0 for a step that only switches the input
    int32_t setpoint = 0;         // in the mode's steps; 0 without a mode
    std::optional<bool> input;    // on, off, or left as it is
    std::chrono::milliseconds dwell{0};
    std::chrono::milliseconds start{0}; // from the start of a pass: the dwells before it
    std::string comment;
};

// Something wrong with a program file: what is wrong and what is allowed.
struct ProgramProblem
{
    int line = 0; // 0 for the file as a whole
    std::string message;
};

struct Program
{
    std::vector<ProgramStep> steps;
    std::vector<ProgramProblem> problems; // every problem found; the program runs only without

    // The length of one pass: the sum of the dwells.
    std::chrono::milliseconds duration() const;
};

constexpr std::size_t kMaxProgramBytes = 10 * 1024 * 1024;
constexpr std::size_t kMaxProgramSteps = 100000;

// Checks a whole program file (CSV with a header row; ',' or ';' as the header decides) and
// returns its steps and every problem in it.
Program parseProgram(std::string_view bytes);

// Reads and checks the file at path; a file that cannot be read, is too large or is not text
// gives one problem at line 0.
Program loadProgram(const std::string &path);

// "FILE:LINE: message", or "FILE: message" for the file as a whole.
std::string problemText(const std::string &file, const ProgramProblem &problem);

} // namespace rz417
