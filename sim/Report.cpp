#include "Report.h"

#include "protocol/JsonText.h"
#include "protocol/Modes.h"
#include "protocol/SetpointValue.h"

#include <cstdio>
#include <ctime>

namespace rz417::sim {

namespace {

const char kHex[] = "0123456789ABCDEF";

std::string number(double value, int decimals)
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
    return buffer;
}

int decimals(int16_t mode)
{
    return modeInfo(mode)->decimals;
}

std::string pointText(const OperatingPoint &point)
{
    std::string text = "load " + number(point.volts, 2) + " V " + number(point.amps, 3) + " A " +
                       number(point.watts, 1) + " W";
    if (point.limit != Limit::None)
        text += std::string(" (") + limitText(point.limit) + ")";
    return text;
}

} // namespace

std::string clockTime(std::chrono::system_clock::time_point time, bool withDate)
{
    const std::time_t seconds = std::chrono::system_clock::to_time_t(time);
    const auto millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(time.time_since_epoch()) % 1000;
    std::tm local{};
    localtime_r(&seconds, &local);
    char buffer[64];
    std::strftime(buffer, sizeof buffer, withDate ? "%Y-%m-%dT%H:%M:%S" : "%H:%M:%S", &local);
    char result[80];
    std::snprintf(result, sizeof result, "%s.%03d", buffer, static_cast<int>(millis.count()));
    return result;
}

std::string printableBytes(const std::string &bytes)
{
    std::string text;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7F && c != '\\') {
            text += c;
        } else {
            text += "\\x";
            text += kHex[byte >> 4];
            text += kHex[byte & 0xF];
        }
    }
    return text;
}

std::string Report::frame(std::chrono::system_clock::time_point time, const Frame &frame,
                          const LoadState &load, const OperatingPoint &point) const
{
    const Setpoints &set = load.setpoints();
    if (!m_jsonl) {
        std::string line = clockTime(time, false) + "  " + printableBytes(frame.bytes) + "  " +
                           frameMeaning(frame);
        if (!frame.valid)
            return line;
        line.resize(std::max<std::size_t>(line.size(), 46), ' ');
        return line + "| mode " + modeName(load.mode()) + ", input " +
               (load.inputOn() ? "ON" : "OFF") + ", set " + cvText(set) + " / " + ccText(set) +
               " / " + cpText(set) + " / " + crText(set) + " | " + pointText(point);
    }

    std::string json =
        "{\"event\":\"frame\",\"time\":" + jsonString(clockTime(time, true), JsonBytes::Latin1) +
        ",\"frame\":" + jsonString(frame.bytes, JsonBytes::Latin1) +
        ",\"valid\":" + (frame.valid ? "true" : "false");
    if (frame.valid) {
        const std::string unit = frameUnit(frame);
        json += ",\"command\":" + jsonString(commandName(frame.command), JsonBytes::Latin1) +
                ",\"code\":" + jsonString(commandCode(frame.command), JsonBytes::Latin1) +
                ",\"raw\":" + std::to_string(frame.value) +
                ",\"value\":" + (unit.empty() ? "null" : frameValueText(frame)) +
                ",\"unit\":" + (unit.empty() ? "null" : jsonString(unit, JsonBytes::Latin1));
        if (frame.command == Command::CcHighSetpoint || frame.command == Command::CcLowSetpoint) {
            json += std::string(",\"range\":") +
                    (frame.command == Command::CcHighSetpoint ? "\"high\"" : "\"low\"");
        }
        json += ",\"meaning\":" + jsonString(frameMeaning(frame), JsonBytes::Latin1);
    } else {
        json += ",\"command\":null,\"value\":null,\"unit\":null,\"error\":" +
                jsonString(frame.error, JsonBytes::Latin1);
    }
    json += std::string(",\"mode\":") +
            (load.mode() == Mode::None ? "null"
                                       : jsonString(modeName(load.mode()), JsonBytes::Latin1)) +
            ",\"input_on\":" + (load.inputOn() ? "true" : "false") +
            ",\"setpoints\":{\"cv\":" + fixedText(set.cvCentivolts, decimals(ModeCodes::CV)) +
            ",\"cc\":" + fixedText(set.ccMilliamps, decimals(ModeCodes::CC)) +
            ",\"cc_range\":" + (set.ccHighRange ? "\"high\"" : "\"low\"") +
            ",\"cp\":" + fixedText(set.cpDeciwatts, decimals(ModeCodes::CP)) +
            ",\"cr\":" + fixedText(set.crDeciohms, decimals(ModeCodes::CR)) + "}" +
            ",\"load\":{\"voltage\":" + number(point.volts, 3) +
            ",\"current\":" + number(point.amps, 3) + ",\"power\":" + number(point.watts, 3) +
            ",\"limit\":" +
            (point.limit == Limit::None ? "null"
                                        : jsonString(limitText(point.limit), JsonBytes::Latin1)) +
            "}}";
    return json;
}

std::string Report::notice(std::chrono::system_clock::time_point time, const std::string &event,
                           const std::string &message) const
{
    if (!m_jsonl)
        return clockTime(time, false) + "  " + message;
    return "{\"event\":" + jsonString(event, JsonBytes::Latin1) +
           ",\"time\":" + jsonString(clockTime(time, true), JsonBytes::Latin1) +
           ",\"message\":" + jsonString(message, JsonBytes::Latin1) + "}";
}

} // namespace rz417::sim
