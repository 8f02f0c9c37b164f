#include "options/OptionTable.h"

#include <gtest/gtest.h>

#include <sstream>

namespace rz417::options {
namespace {

bool takesValue(const std::string &word)
{
    return word == "set";
}

// A small command line: a general flag and a valued option, and a subcommand with two options
// that exclude each other and one that goes with another.
const Grammar &grammar()
{
    static const Grammar g = [] {
        Grammar made;
        made.program = "tool";
        made.subcommands = {{"", "COMMAND...", "commands"}, {"go", "go FILE", "go"}};
        made.options = {
            option("--port", 'p', "PORT", "a port", "the port"),
            option("--verbose", 'v', "", "", "say more"),
            option("--dry-run", 0, "", "", "open nothing", "commands"),
            option("--repeat", 0, "N", "a count", "N times", "go", "", "--forever"),
            option("--forever", 0, "", "", "until stopped", "go", "", "--repeat"),
            option("--query", 0, "Q", "a query", "ask Q", "go", "--meter"),
            option("--meter", 0, "ADDRESS", "an address", "the meter", "go"),
        };
        made.takesValue = takesValue;
        return made;
    }();
    return g;
}

std::vector<std::string> split(const std::string &line)
{
    std::istringstream in(line);
    std::vector<std::string> out;
    for (std::string word; in >> word;)
        out.push_back(word);
    return out;
}

// "--port=1 -v | a b" for what was sorted, or the error.
std::string outcome(const std::string &line)
{
    const Sorted sorted = sortWords(grammar(), split(line));
    if (!sorted.error.empty())
        return sorted.error;
    const std::string together =
        checkTogether(grammar(), sorted, subcommandOf(grammar(), sorted.words));
    if (!together.empty())
        return together;
    std::string text;
    for (const Given &given : sorted.options)
        text += std::string(grammar().options[given.row].name) + "=" + given.value + " ";
    text += "|";
    for (const std::string &word : sorted.words)
        text += " " + word;
    return text;
}

TEST(OptionTable, WordsToOptionsOrWhatIsWrong)
{
    const struct
    {
        const char *line;
        const char *outcome;
    } rows[] = {
        {"-p 1 a b", "--port=1 | a b"},
        {"-p1 -vv a", "--port=1 --verbose= --verbose= | a"},
        {"-vp 3 a", "--verbose= --port=3 | a"},
        {"--port=/dev/ttyS0 a", "--port=/dev/ttyS0 | a"},
        {"--port= a", "--port= | a"},
        {"a -- -p 1", "| a -p 1"},
        {"set -5 -v", "--verbose= | set -5"},
        {"- a", "| - a"},
        {"-p", "-p needs a port"},
        {"a --port", "-p needs a port"},
        {"-p 1 --port 2 a", "-p is given twice ('1' and '2'): give it once"},
        {"--frob a", "unknown option '--frob': see 'tool --help' for the options"},
        {"-vx a", "unknown option '-x' in '-vx': see 'tool --help' for the options"},
        {"--verbose=yes a", "--verbose takes no value, not 'yes'"},
        {"a --repeat 2", "--repeat goes with go FILE: tool go FILE --repeat N"},
        {"go f --dry-run", "--dry-run does not go with go: it goes with the commands"},
        {"go f --repeat 2 --forever", "--repeat and --forever exclude each other: give one of "
                                      "them"},
        {"go f --query X", "--query goes with --meter ADDRESS"},
        {"GO f --query X --meter m", "--query=X --meter=m | GO f"},
    };
    for (const auto &row : rows)
        EXPECT_EQ(outcome(row.line), row.outcome) << row.line;
}

TEST(OptionTable, HelpFromTheRows)
{
    EXPECT_EQ(usageOptions(grammar(), "go", 4, 36), "[--repeat N] [--forever]\n"
                                                    "    [--query Q] [--meter ADDRESS]");
    EXPECT_EQ(optionLines(grammar(), "*"), "  -p, --port PORT  the port\n"
                                           "  -v, --verbose    say more\n"
                                           "      --dry-run    open nothing\n");
}

} // namespace
} // namespace rz417::options
