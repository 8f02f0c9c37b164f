#include "battery/MeterParameters.h"

#include "protocol/SetpointValue.h"

namespace rz417::battery {

std::string readMeterAddress(const std::string &text, std::optional<MeterAddress> &into)
{
    std::string why;
    into = parseMeterAddress(text, why);
    return into ? std::string() : why;
}

std::string readMeterQuery(const std::string &text, std::string &into)
{
    if (text.empty() || text.find_first_of("\r\n") != std::string::npos)
        return std::string("{} takes one SCPI query, such as ") + kDefaultMeterQuery;
    into = text;
    return {};
}

std::string readSeconds(const std::string &text, std::chrono::milliseconds &into)
{
    std::string why;
    const auto ms = parseDuration(text, why);
    if (!ms || *ms < 200)
        return "{} takes seconds from 0.2 on, such as 1, 0.5 or 10s, not " + quotedWord(text);
    into = std::chrono::milliseconds(*ms);
    return {};
}

} // namespace rz417::battery
