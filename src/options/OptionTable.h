#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace rz417::options {

// One option of a command line.
struct OptionInfo
{
    std::string_view name;     // with its dashes: "--port"
    char shortName = 0;        // 'p'; 0 for none
    std::string_view argument; // "PORT"; empty for a flag
    std::string_view needs;    // what a missing argument is, for "--port needs ...": "a file name"
    std::string_view help;     // one line
    std::string_view scope;    // the subcommands that take it, space-separated; empty: every one
    std::string_view with;     // an option it goes with, or empty
    std::string_view without;  // an option it excludes, or empty
};

// A row of a table, its last three fields as the most take them: every subcommand, alone.
constexpr OptionInfo option(std::string_view name, char shortName, std::string_view argument,
                            std::string_view needs, std::string_view help,
                            std::string_view scope = {}, std::string_view with = {},
                            std::string_view without = {})
{
    return {name, shortName, argument, needs, help, scope, with, without};
}

// A subcommand: the first word of those that are not options, or "" for a line of commands.
struct Subcommand
{
    std::string_view name;     // "battery"; "" for the one-shot commands
    std::string_view synopsis; // "battery cc|cp|cr VALUE"
    std::string_view help;     // one line
};

// What a command line is made of: its name, its subcommands and its options.
struct Grammar
{
    std::string_view program; // "rz417ctl"
    std::vector<Subcommand> subcommands;
    std::vector<OptionInfo> options;
    // When true for a word, the word after it is that word's value whatever it looks like, so
    // that 'cv -5' is a bad setpoint, not an unknown option.
    bool (*takesValue)(const std::string &word) = nullptr;
};

struct Given
{
    std::size_t row = 0; // into Grammar::options
    std::string spelled; // as it was written: "-p", "--port"
    std::string value;   // empty for a flag
};

// The words of a command line sorted into its options, in the order given, and its other
// words. error says what is wrong when it is not empty (an unknown option, a missing value, one
// given twice), and then nothing else is set. --x=v is taken as --x v; short options bundle (-vq)
// and one that takes a value takes the rest of its word or the next one (-p1, -p 1); after --
// every word is a word.
struct Sorted
{
    std::vector<Given> options;
    std::vector<std::string> words;
    std::string error;
};
Sorted sortWords(const Grammar &grammar, const std::vector<std::string> &args);

// True when the option of that name (with its dashes) was given.
bool given(const Grammar &grammar, const Sorted &sorted, std::string_view name);

// The subcommand that the words name, from their first; the one-shot commands ("") when none.
const Subcommand &subcommandOf(const Grammar &grammar, const std::vector<std::string> &words);

// What goes with what: an option given with a subcommand that does not take it, two that exclude
// each other, one given without the one it goes with. Empty when all go together, else the first
// that does not and what is allowed.
std::string checkTogether(const Grammar &grammar, const Sorted &sorted, const Subcommand &command);

// "[--cutoff V] [--capacity AH] ...": the options whose scope is that subcommand's name alone
// (with "" those that every subcommand takes), wrapped at width, each new line indented.
std::string usageOptions(const Grammar &grammar, std::string_view subcommand, std::size_t indent,
                         std::size_t width);

// "  -p, --port PORT     its help\n": a line per option that the subcommand takes (only it, or
// with "*" the options that no one subcommand owns), aligned.
std::string optionLines(const Grammar &grammar, std::string_view subcommand);

// What an option is called in messages: its short name where it has one ("-p"), else its long.
std::string displayName(const OptionInfo &option);

// True when scope names the subcommand; an empty scope takes every one.
bool inScope(std::string_view scope, std::string_view subcommand);

} // namespace rz417::options
