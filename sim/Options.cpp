#include "Options.h"

#include "options/OptionTable.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <iterator>
#include <string_view>

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

std::vector<std::string> commaParts(const std::string &text)
{
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (auto comma = text.find(','); comma != std::string::npos; comma = text.find(',', start)) {
        parts.push_back(text.substr(start, comma - start));
        start = comma + 1;
    }
    parts.push_back(text.substr(start));
    return parts;
}

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

namespace {

using options::option;
using Take = std::string (*)(const std::string &value, Options &options);

struct Row
{
    options::OptionInfo info;
    Take take;
};

const Row kRows[] = {
    {option("--link", 0, "PATH", "a path",
            "also make PATH a symbolic link to the terminal (removed on "
            "exit)"),
     [](const std::string &v, Options &o) {
         o.link = v;
         return v.empty() ? std::string("--link needs a path") : std::string();
     }},
    {option("--jsonl", 0, "", "", "one JSON object per line instead of text"),
     [](const std::string &, Options &o) { return o.jsonl = true, std::string(); }},
    {option("--source", 0, "VOLTS,OHMS", "VOLTS,OHMS",
            "the source on the load's input (default 24,0.5)"),
     [](const std::string &v, Options &o) {
         return parseSource(v, o.source)
                    ? std::string()
                    : "--source wants VOLTS,OHMS with volts above 0 and ohms 0 or more, not '" + v +
                          "'";
     }},
    {option("--battery", 0, "CAPACITY_AH[,CELLS][,OHMS]", "CAPACITY_AH[,CELLS][,OHMS]",
            "a lithium-ion battery as the source (1 cell, 0.05 ohm by default), discharged by what "
            "the load draws"),
     [](const std::string &v, Options &o) {
         BatteryParams params;
         if (!parseBattery(v, params))
             return "--battery wants CAPACITY_AH[,CELLS][,OHMS] with a capacity above 0, 1 to 16 "
                    "cells and ohms 0 or more, not '" +
                    v + "'";
         o.battery = params;
         return std::string();
     }},
    {option("--supply", 0, "VOLTS,AMPS[,cc|latch]", "VOLTS,AMPS[,cc|latch]",
            "a bench supply as the source: VOLTS up to AMPS, then constant current (cc, the "
            "default) or 0 V until the load has asked for nothing for 1 s (latch)"),
     [](const std::string &v, Options &o) {
         SupplyParams params;
         if (!parseSupply(v, params))
             return "--supply wants VOLTS,AMPS[,cc|latch] with volts and amps above 0, not '" + v +
                    "'";
         o.supply = params;
         return std::string();
     }},
    {option("--pv", 0, "VOC,ISC", "VOC,ISC",
            "a solar cell as the source: VOC open-circuit, ISC short-circuit, fill factor 0.75"),
     [](const std::string &v, Options &o) {
         SolarCellParams params;
         if (!parseSolarCell(v, params))
             return "--pv wants VOC,ISC with both above 0, not '" + v + "'";
         o.pv = params;
         return std::string();
     }},
    {option(
         "--meter", 0, "[ADDRESS:]PORT", "[ADDRESS:]PORT",
         "a bench meter on a raw SCPI socket (127.0.0.1 by default): *IDN? and MEAS:VOLT:DC?, the "
         "voltage at the load's terminals"),
     [](const std::string &v, Options &o) {
         o.meter = v;
         return v.empty() ? std::string("--meter needs [ADDRESS:]PORT") : std::string();
     }},
    {option("--help", 'h', "", "", "print this text"),
     [](const std::string &, Options &o) { return o.help = true, std::string(); }},
};

const options::Grammar &grammar()
{
    static const options::Grammar g = [] {
        options::Grammar made;
        made.program = "rz417-sim";
        made.subcommands = {{"", "", ""}};
        for (const Row &row : kRows)
            made.options.push_back(row.info);
        return made;
    }();
    return g;
}

// The load has one source on its input; a second would only be ignored.
std::string oneSource(const options::Sorted &sorted)
{
    static const std::string_view kSources[] = {"--source", "--battery", "--supply", "--pv"};
    std::string_view first;
    for (const options::Given &given : sorted.options) {
        const std::string_view name = grammar().options[given.row].name;
        if (std::find(std::begin(kSources), std::end(kSources), name) == std::end(kSources))
            continue;
        if (first.empty())
            first = name;
        else
            return std::string(first) + " and " + std::string(name) +
                   " exclude each other: give one source, --source, --battery, --supply or --pv";
    }
    return {};
}

} // namespace

std::string usageText()
{
    return "usage: rz417-sim " + options::usageOptions(grammar(), "", 17, 79) +
           "\nPlays an RZ-417 electronic load on a pseudo-terminal and prints every frame it\n"
           "receives.\n" +
           options::optionLines(grammar(), "*");
}

bool parseOptions(const std::vector<std::string> &args, Options &options, std::string &error)
{
    const options::Sorted sorted = options::sortWords(grammar(), args);
    error = sorted.error;
    if (error.empty() && !sorted.words.empty())
        error = "'" + sorted.words.front() +
                "' is not an option: rz417-sim takes only options; see 'rz417-sim --help'";
    if (error.empty())
        error = oneSource(sorted);
    for (const options::Given &given : sorted.options) {
        if (error.empty())
            error = kRows[given.row].take(given.value, options);
    }
    return error.empty();
}

} // namespace rz417::sim
