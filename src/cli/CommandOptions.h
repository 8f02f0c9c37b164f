#pragma once

#include "cli/CommandLine.h"
#include "measure/Parameters.h"
#include "options/OptionTable.h"

#include <optional>
#include <string>

namespace rz417::cli {

// What the options of a command line set, before the words are read.
struct OptionState
{
    Invocation invocation;
    std::optional<std::string> listen;   // serve's, checked once serve is known
    std::optional<std::string> watchdog; // the same
    measure::Texts texts;                // a measured test's words and options, read once it is known
    bool forever = false;
    bool help = false;
    bool version = false;
};

// rz417ctl's command line: its subcommands and a row per option.
const options::Grammar &commandGrammar();

// Reads the value of the option in that row of commandGrammar() into state: empty when taken,
// else what is wrong and what is allowed.
std::string takeOption(std::size_t row, const std::string &value, OptionState &state);

} // namespace rz417::cli
