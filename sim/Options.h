#pragma once

#include "Battery.h"
#include "SolarCell.h"
#include "SourceModel.h"
#include "Supply.h"

#include <optional>
#include <string>
#include <vector>

namespace rz417::sim {

struct Options
{
    std::string link; // symbolic link to the slave side; empty for none
    bool jsonl = false;
    Source source;
    std::optional<BatteryParams> battery; // the source is this battery instead
    std::optional<SupplyParams> supply;   // or this bench supply
    std::optional<SolarCellParams> pv;    // or this solar cell
    std::string meter;                    // [ADDRESS:]PORT of the meter's socket; empty for none
    bool help = false;
};

// Parses the arguments after the program name. On failure returns false with a one-line error.
bool parseOptions(const std::vector<std::string> &args, Options &options, std::string &error);

// A decimal number as strtod reads it, finite, the whole text.
bool parseNumber(const std::string &text, double &value);

// The parts of "A,B,C" between the commas, empty ones too; one for a text without a comma.
std::vector<std::string> commaParts(const std::string &text);

// "VOLTS,OHMS", volts above 0 and ohms 0 or more.
bool parseSource(const std::string &text, Source &source);

// What --help prints, from the table of options.
std::string usageText();

} // namespace rz417::sim
