#pragma once

#include "FrameDecoder.h"
#include "LoadState.h"
#include "SourceModel.h"

#include <chrono>
#include <string>

namespace rz417::sim {

// Everything the simulator prints after its first line, as text or as JSON lines.
class Report
{
public:
    explicit Report(bool jsonl) : m_jsonl(jsonl) {}

    // One line for a frame: its time, the bytes, what they mean, the load's state afterwards and
    // where the load settles on the source.
    std::string frame(std::chrono::system_clock::time_point time, const Frame &frame,
                      const LoadState &load, const OperatingPoint &point) const;

    // One line for anything else that happened on the line; `event` names it in JSON.
    std::string notice(std::chrono::system_clock::time_point time, const std::string &event,
                       const std::string &message) const;

private:
    bool m_jsonl;
};

// Local time with milliseconds: "21:50:03.120"; with the date for JSON, "2024-05-01T21:50:03.120".
std::string clockTime(std::chrono::system_clock::time_point time, bool withDate);

// The bytes with anything unprintable as \xNN, so that a bad frame cannot upset the terminal.
std::string printableBytes(const std::string &bytes);

} // namespace rz417::sim
