#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace rz417::measure {

// How a front end names a parameter when it refuses one: the command line by its option
// ("--cutoff"), the window by its field ("Cut-off").
enum class Naming { Option, Label };

// A run's parameters as a front end has them, by key. A key left out takes the parameter's
// initial text.
using Texts = std::map<std::string, std::string, std::less<>>;

// How the window shows a parameter.
enum class Field {
    Line,     // a line of text, its unit beside it
    Choice,   // one of choices
    Setpoint, // a line whose unit follows the choice
    File,     // a file name, with a button to browse for one
};

// One parameter of a kind of measured run, as every front end shows and reads it.
template <class Setup> struct Parameter
{
    const char *key;      // the texts' and the window's settings' key: "cutoff"
    const char *option;   // the command line's: "--cutoff"; empty for a word of the command
    const char *argument; // the option's argument in the usage: "V"
    const char *needs;    // what the option's argument is: "volts, e.g. 3.0"
    const char *help;     // the option's line in --help
    const char *label;    // the window's field, with its mnemonic: "C&ut-off"
    const char *unit;     // beside the field; for a choice, the choices: "CC CP CR"
    const char *initial;  // the text of a parameter not given; empty: none
    const char *hint;     // the window's placeholder in an empty field
    const char *with;     // an option that it needs on the command line: "--meter"
    Field field;
    bool optional; // an empty text leaves it out
    // Reads the text into the setup: empty when taken, else what is wrong and what is allowed.
    std::string (*take)(const std::string &text, Setup &into);
};

// The label as the window shows it: "Cut-off".
std::string displayLabel(const char *label);

// A take's reason named: one that begins with "{}" has the name there ("{} takes ..."); any
// other follows the name and ": "; without a name, the reason alone.
std::string namedRefusal(const std::string &name, const std::string &why);

template <class Setup> std::string parameterName(const Parameter<Setup> &parameter, Naming naming)
{
    return naming == Naming::Option ? std::string(parameter.option) : displayLabel(parameter.label);
}

// Reads every parameter in the table's order into the setup; the first refused ends it, with
// why in the front end's naming.
template <class Setup>
bool readParameters(const std::vector<Parameter<Setup>> &table, const Texts &texts, Naming naming,
                    Setup &into, std::string &why)
{
    for (const Parameter<Setup> &parameter : table) {
        const auto given = texts.find(parameter.key);
        const std::string text = given == texts.end() ? parameter.initial : given->second;
        if (text.empty() && (parameter.optional || given == texts.end()))
            continue;
        if (std::string wrong = parameter.take(text, into); !wrong.empty()) {
            why = namedRefusal(parameterName(parameter, naming), wrong);
            return false;
        }
    }
    return true;
}

} // namespace rz417::measure
