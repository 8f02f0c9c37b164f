#include "cli/CommandOptions.h"

#include "kinds/Kinds.h"
#include "protocol/Modes.h"
#include "protocol/SetpointValue.h"

#include <algorithm>
#include <iterator>

namespace rz417::cli {

namespace {

using options::option;
using Take = std::string (*)(const std::string &value, OptionState &state);

struct Row
{
    options::OptionInfo info;
    Take take;
};

constexpr int kMaxRepeat = 1000000;
constexpr const char *kJson = "--json";

std::string once(std::optional<std::string> &into, const std::string &value)
{
    into = value;
    return {};
}

// The one-shot commands, then the subcommands, each with its own options below; the measured
// tests follow from their table.
const options::Subcommand kSubcommands[] = {
    {"", "COMMAND...", "the commands, run in the order given"},
    {"run", "run FILE", "run a program: CSV mode,setpoint,input,dwell,comment"},
    {"serve", "serve", "serve SCPI clients on a raw TCP socket, as the load"},
    {"ports", "ports", "list the numbered serial ports and who holds them"},
};

const Row kRows[] = {
    {option("--port", 'p', "PORT", "a port number or a device path",
            "port number or device path; default $RZ417_PORT"),
     [](const std::string &v, OptionState &s) {
         if (v.empty())
             return std::string("-p needs a port number or a device path, not an empty word");
         s.invocation.port = v;
         return std::string();
     }},
    {option("--verbose", 'v', "", "", "print each frame as it goes out, with its time and meaning"),
     [](const std::string &, OptionState &s) {
         return s.invocation.verbose = true, std::string();
     }},
    {option("--quiet", 'q', "", "", "no notices, no progress line"),
     [](const std::string &, OptionState &s) { return s.invocation.quiet = true, std::string(); }},
    {option("--dry-run", 0, "", "", "print the frames or the program's schedule; open nothing",
            "commands run ports"),
     [](const std::string &, OptionState &s) { return s.invocation.dryRun = true, std::string(); }},
    {option("--journal", 0, "FILE", "a file name", "append one CSV line per frame to FILE"),
     [](const std::string &v, OptionState &s) {
         s.invocation.journal = v;
         return v.empty() ? std::string("--journal needs a file name") : std::string();
     }},
    {option("--help", 'h', "", "", "this text; 'rz417ctl help battery': a command's options"),
     [](const std::string &, OptionState &s) { return s.help = true, std::string(); }},
    {option("--version", 'V', "", "", "print the version"),
     [](const std::string &, OptionState &s) { return s.version = true, std::string(); }},
    {option("--repeat", 0, "N", "a number of passes", "run the program N times (1 by default)",
            "run", "", "--forever"),
     [](const std::string &v, OptionState &s) {
         const Fixed n = parseFixed(v, 0, 0, kMaxRepeat);
         if (n.error != FixedError::None || n.value < 1)
             return quotedWord(v) + " is not a number of passes: --repeat takes a whole number "
                                    "from 1 to 1000000";
         s.invocation.repeat = static_cast<int>(n.value);
         return std::string();
     }},
    {option("--forever", 0, "", "", "run the program until interrupted", "run", "", "--repeat"),
     [](const std::string &, OptionState &s) { return s.forever = true, std::string(); }},
    {option("--listen", 0, "[ADDR:]TCPPORT", "[ADDRESS:]TCPPORT, e.g. 5025 or 0.0.0.0:5025",
            "where clients connect: 127.0.0.1:5025 by default, 0.0.0.0:5025 every interface",
            "serve"),
     [](const std::string &v, OptionState &s) { return once(s.listen, v); }},
    {option("--watchdog", 0, "SECONDS", "SECONDS, e.g. 60",
            "switch the input off after SECONDS without a SCPI message", "serve"),
     [](const std::string &v, OptionState &s) { return once(s.watchdog, v); }},
};

bool lowerIs(std::string word, std::initializer_list<const char *> names)
{
    for (char &c : word)
        c = c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
    for (const char *name : names) {
        if (word == name)
            return true;
    }
    return false;
}

// A word right after cv, cc, cp, cr, wait or run is their value, whatever it looks like.
bool takesValue(const std::string &word)
{
    return lowerIs(word, {"cv", "cc", "cp", "cr", "wait", "run", "battery", "sweep"});
}

} // namespace

const options::Grammar &commandGrammar()
{
    static const options::Grammar grammar = [] {
        options::Grammar g;
        g.program = "rz417ctl";
        g.subcommands.assign(std::begin(kSubcommands), std::end(kSubcommands));
        for (const Row &row : kRows)
            g.options.push_back(row.info);
        // A measured test's options are its parameters, as the window's fields are.
        for (const kinds::Kind &kind : kinds::kinds()) {
            g.subcommands.push_back({kind.name, kind.synopsis, kind.help});
            g.options.push_back(options::option(
                kJson, 0, "", "", "the summary as one JSON object on standard output", kind.name));
            for (const measure::ParameterInfo &p : kind.parameters) {
                if (*p.option)
                    g.options.push_back(options::option(p.option, 0, p.argument, p.needs, p.help,
                                                        kind.name, p.with));
            }
        }
        g.takesValue = takesValue;
        return g;
    }();
    return grammar;
}

namespace {

// "0-63.00 V, 0-15.000 A, 0-200.0 W,\n    0-999.9 ohm", from the modes' table.
std::string rangesText()
{
    std::string text;
    for (const ModeInfo &mode : modes()) {
        if (!text.empty())
            text += mode.code == ModeCodes::CR ? ",\n                            " : ", ";
        text += "0-" + fixedText(mode.rangeTop, mode.decimals) + " " + mode.unitText;
    }
    return text;
}

constexpr std::size_t kWidth = 80;

// "       rz417ctl [options] battery cc|cp|cr VALUE [--cutoff V] ...", wrapped.
std::string usageLine(const options::Subcommand &command, const char *lead)
{
    std::string line = std::string(lead) + "rz417ctl [options] " + std::string(command.synopsis);
    const std::string rest = options::usageOptions(commandGrammar(), command.name, 9, kWidth);
    if (rest.empty())
        return line + "\n";
    const std::size_t firstBreak = rest.find('\n');
    if (line.size() + 1 + std::min(firstBreak, rest.size()) <= kWidth)
        return line + " " + rest + "\n";
    return line + "\n         " + rest + "\n";
}

const options::Subcommand &subcommandNamed(const std::string &name)
{
    for (const options::Subcommand &command : commandGrammar().subcommands) {
        if (command.name == name)
            return command;
    }
    return commandGrammar().subcommands.front();
}

std::string commandHelp(const options::Subcommand &command)
{
    const std::string name(command.name);
    return usageLine(command, "usage: ") + std::string(command.help) + "\nOptions of " + name +
           ":\n" + options::optionLines(commandGrammar(), name) +
           "Options of every command: see rz417ctl --help. All of it: rz417ctl(1).\n";
}

} // namespace

std::string helpText(const std::string &topic)
{
    if (!topic.empty() && topic != "ports")
        return commandHelp(subcommandNamed(topic));
    return "rz417ctl: send commands to an RZ-417 electronic load over its serial line\n"
           "usage: rz417ctl [-p PORT] [-v] [-q] [--dry-run] [--journal FILE] COMMAND...\n" +
           usageLine(subcommandNamed("run"), "       ") +
           usageLine(subcommandNamed("serve"), "       ") +
           "       rz417ctl [options] battery|ocp|opp|sweep|dcir ...  (measured tests)\n"
           "       rz417ctl ports | help COMMAND     (ports; the options of run, serve, ...)\n"
           "Commands, run in the order given:\n"
           "  cv V, cc A, cp W, cr OHM  mode and setpoint: " +
           rangesText() +
           "; with a unit or not: 12.34V, 1500mA\n"
           "  on, off                   switch the load's input on or off\n"
           "  wait SECONDS              wait before the next command: 10, 0.5, 250ms\n"
           "Options:\n" +
           options::optionLines(commandGrammar(), "*") +
           "Example: rz417ctl -p 1 cc 1.5 on wait 10 off\n"
           "Exit status: 0 sent, 1 line or journal failed, 2 usage, 130/143 interrupted.\n"
           "An input it switched on goes off if it is interrupted or fails. See rz417ctl(1).\n";
}

std::string takeOption(std::size_t row, const std::string &value, OptionState &state)
{
    if (row < std::size(kRows))
        return kRows[row].take(value, state);
    const options::OptionInfo &info = commandGrammar().options[row];
    if (info.name == kJson)
        return state.invocation.json = true, std::string();
    const kinds::Kind *kind = kinds::kindNamed(info.scope);
    if (!kind)
        return {};
    for (const measure::ParameterInfo &p : kind->parameters) {
        if (info.name != p.option)
            continue;
        if (p.field == measure::Field::Flag)
            state.texts[p.key] = measure::kYes;
        else if (value.empty()) // an empty word would leave an optional stop out unseen
            return std::string(info.name) + " needs " + std::string(info.needs);
        else
            state.texts[p.key] = value;
    }
    return {};
}

} // namespace rz417::cli
