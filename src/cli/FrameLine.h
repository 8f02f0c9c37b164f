#pragma once

#include "link/CommControl.h"
#include "program/Journal.h"

#include <cstdio>
#include <functional>
#include <string>

namespace rz417::cli {

// Where a frame comes from, for the journal and the -v lines.
struct FrameSource
{
    const char *source = "cli";
    int step = 0; // programs: the step from 1 and its line in the file
    int line = 0;
};

// Writes a journal line; false with the error text when it could not.
using JournalWriter = std::function<bool(const JournalEntry &, std::string &)>;

// Every frame rz417ctl sends goes through here: onto the line (none in a dry run), into the
// journal when there is one, and printed with the time and its meaning under -v or --dry-run.
class FrameLine
{
public:
    // line: nothing for a dry run. print: where the TX lines go, or nothing.
    FrameLine(CommControl *line, JournalWriter journal, std::FILE *print);

    struct Result
    {
        std::string lineError;    // the line's error text; the frame did not go out
        std::string lineDetail;   // the same with the cause, for the user
        std::string journalError; // the journal could not record it
        bool ok() const { return lineError.empty() && journalError.empty(); }
    };
    Result send(const std::string &frame, const std::string &meaning, const FrameSource &from,
                std::chrono::system_clock::time_point at = std::chrono::system_clock::now());

    // Whether the last input frame that went out switched the input on.
    bool inputOn() const { return m_inputOn; }

private:
    CommControl *m_line;
    JournalWriter m_journal;
    std::FILE *m_print;
    bool m_inputOn = false;
};

// Local time with milliseconds: "12:00:01.234".
std::string clockText(std::chrono::system_clock::time_point time);

// The line -v prints for a frame: "12:00:01.234 TX 6204D2 CV 12.34 V".
std::string frameLineText(std::chrono::system_clock::time_point time, const std::string &frame,
                          const std::string &meaning, const FrameSource &from);

} // namespace rz417::cli
