#pragma once

#include <string>
#include <vector>

namespace rz417::measure {

// How a measured run ended.
enum class RunEnd {
    Stopped,     // a stop was met
    Interrupted, // a signal, or stopped by hand
    LineFailed,  // a frame did not go out
    MeterFailed, // no answer, or one that is not a number
    LogFailed,   // a reading could not be logged
    Refused,     // a reading showed that the test cannot be run so; the input never went on
};

// How scripts read an end that is not a kind's own stop: "signal", "line", "meter", "log",
// "refused"; nothing for Stopped, which each kind names.
const char *endWord(RunEnd end);

struct RunResult
{
    RunEnd end = RunEnd::Stopped;
    std::string why; // LineFailed, MeterFailed, LogFailed, Refused
};

// What every front end says at a run's end, a line each, without capitals: what ended it and
// after how long ("stopped by the capacity after 0:01:00", "stopped by hand after ..."), the
// kind's figures (none before the first reading), and whether the input went off.
struct RunEndWords
{
    RunResult result;
    std::string stop;  // the stop that was met: "the capacity"; empty: the test ran to its end
    std::string after; // "0:01:00"
    std::vector<std::string> figures;
    bool inputWasOn = true; // the input-on frame went out, whole or in part
    bool off = true;        // the input-off frame went out whole, or the input never went on
    std::string logLost;    // why the last reading is not in the log; empty when it is
    std::string lead;       // said first: what the figures are; empty for nothing
};
std::vector<std::string> endLines(const RunEndWords &words);

// What a run's meter is asked first, and what the front ends say of the answer: "meter: ..."
// once it answered, why when it cannot be reached (and so nothing was sent).
constexpr const char *kIdentityQuery = "*IDN?";
std::string meterLine(const std::string &identity);
std::string unreachableMeterLine(const std::string &why);

// A run succeeded only when a stop ended it, the input went off and the log has every reading.
bool succeeded(const RunEndWords &words);

} // namespace rz417::measure
