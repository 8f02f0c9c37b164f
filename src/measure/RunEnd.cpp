#include "measure/RunEnd.h"

namespace rz417::measure {

namespace {

std::string firstLine(const RunEndWords &words)
{
    const std::string after = " after " + words.after;
    switch (words.result.end) {
    case RunEnd::Stopped:
        return words.stop.empty() ? "finished" + after : "stopped by " + words.stop + after;
    case RunEnd::Interrupted:
        return "stopped by hand" + after;
    case RunEnd::MeterFailed:
        return "the meter stopped answering (" + words.result.why + ")" + after;
    case RunEnd::LogFailed:
        return words.result.why + "; the test was stopped" + after;
    case RunEnd::LineFailed:
        if (!words.figures.empty())
            return words.result.why + "; the test was stopped" + after;
        break;
    case RunEnd::Refused:
        break;
    }
    return "the test did not start: " + words.result.why;
}

} // namespace

const char *endWord(RunEnd end)
{
    switch (end) {
    case RunEnd::Stopped:
        break;
    case RunEnd::Interrupted:
        return "signal";
    case RunEnd::LineFailed:
        return "line";
    case RunEnd::MeterFailed:
        return "meter";
    case RunEnd::LogFailed:
        return "log";
    case RunEnd::Refused:
        return "refused";
    }
    return nullptr;
}

std::vector<std::string> endLines(const RunEndWords &words)
{
    std::vector<std::string> lines;
    if (!words.lead.empty())
        lines.push_back(words.lead);
    lines.push_back(firstLine(words));
    lines.insert(lines.end(), words.figures.begin(), words.figures.end());
    if (words.inputWasOn || !words.off)
        lines.push_back(words.off ? "the input was switched off"
                                  : "the input could not be switched off: it may still be on");
    if (!words.logLost.empty())
        lines.push_back(words.logLost + "; the last reading is not in the log");
    return lines;
}

std::string meterLine(const std::string &identity)
{
    return "meter: " + identity;
}

std::string unreachableMeterLine(const std::string &why)
{
    return "the meter cannot be reached: " + why + "; nothing was sent";
}

bool succeeded(const RunEndWords &words)
{
    return words.result.end == RunEnd::Stopped && words.off && words.logLost.empty();
}

} // namespace rz417::measure
