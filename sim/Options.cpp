#include "Options.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace rz417::sim {

bool parseNumber(const std::string &text, double &value)
{
    if (text.empty())
        return false;
    char *end = nullptr;
    errno = 0;
    value = std::strtod(text.c_str(), &end);
    return errno == 0 && end == text.c_str() + text.size() && std::isfinite(value);
}

const char *const kUsage =
    "usage: rz417-sim [--link PATH] [--jsonl] [--source VOLTS,OHMS | --battery "
    "CAPACITY_AH[,CELLS][,OHMS]] [--meter [ADDRESS:]PORT]\n"
    "Plays an RZ-417 electronic load on a pseudo-terminal and prints every frame it receives.\n"
    "  --link PATH           also make PATH a symbolic link to the terminal (removed on exit)\n"
    "  --jsonl               one JSON object per line instead of text\n"
    "  --source VOLTS,OHMS   the source on the load's input (default 24,0.5)\n"
    "  --battery CAPACITY_AH[,CELLS][,OHMS]\n"
    "                        a lithium-ion battery as the source (1 cell, 0.05 ohm by default),\n"
    "                        discharged by what the load draws\n"
    "  --meter [ADDRESS:]PORT\n"
    "                        a bench meter on a raw SCPI socket (127.0.0.1 by default): *IDN?\n"
    "                        and MEAS:VOLT:DC?, the voltage at the load's terminals\n";

bool parseSource(const std::string &text, Source &source)
{
    const auto comma = text.find(',');
    if (comma == std::string::npos)
        return false;
    Source parsed;
    if (!parseNumber(text.substr(0, comma), parsed.volts) ||
        !parseNumber(text.substr(comma + 1), parsed.ohms))
        return false;
    if (parsed.volts <= 0.0 || parsed.ohms < 0.0)
        return false;
    source = parsed;
    return true;
}

bool parseOptions(const std::vector<std::string> &args, Options &options, std::string &error)
{
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        std::string value;
        bool hasValue = false;
        if (const auto eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = name.substr(eq + 1);
            name.resize(eq);
            hasValue = true;
        }
        auto takeValue = [&]() {
            if (hasValue)
                return true;
            if (i + 1 >= args.size()) {
                error = name + " needs a value";
                return false;
            }
            value = args[++i];
            return true;
        };

        if (name == "--help" || name == "-h") {
            options.help = true;
        } else if (name == "--jsonl" && !hasValue) {
            options.jsonl = true;
        } else if (name == "--link") {
            if (!takeValue())
                return false;
            if (value.empty()) {
                error = "--link needs a path";
                return false;
            }
            options.link = value;
        } else if (name == "--source") {
            if (!takeValue())
                return false;
            if (!parseSource(value, options.source)) {
                error = "--source wants VOLTS,OHMS with volts above 0 and ohms 0 or more, not '" +
                        value + "'";
                return false;
            }
        } else if (name == "--battery") {
            if (!takeValue())
                return false;
            BatteryParams params;
            if (!parseBattery(value, params)) {
                error = "--battery wants CAPACITY_AH[,CELLS][,OHMS] with a capacity above 0, 1 "
                        "to 16 cells and ohms 0 or more, not '" +
                        value + "'";
                return false;
            }
            options.battery = params;
        } else if (name == "--meter") {
            if (!takeValue())
                return false;
            if (value.empty()) {
                error = "--meter needs [ADDRESS:]PORT";
                return false;
            }
            options.meter = value;
        } else {
            error = "unknown argument '" + args[i] + "'";
            return false;
        }
    }
    return true;
}

} // namespace rz417::sim
