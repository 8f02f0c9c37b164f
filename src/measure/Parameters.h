#pragma once

#include <functional>
#include <map>
#include <optional>
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
    Flag,     // yes or no: an option without an argument, a check box
};

// The words of a flag's text.
constexpr const char *kYes = "yes";
constexpr const char *kNo = "no";

// One parameter of a kind of measured run, as every front end shows and reads it.
template <class Setup> struct Parameter
{
    const char *key;      // the texts' and the window's settings' key: "cutoff"
    const char *option;   // the command line's: "--cutoff"; empty for a word of the command
    const char *argument; // the option's argument in the usage: "V"; a word's name: "STEP"
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

// A parameter as a front end shows it, whatever the kind's setup.
struct ParameterInfo
{
    const char *key;
    const char *option;
    const char *argument;
    const char *needs;
    const char *help;
    const char *label;
    const char *unit;
    const char *initial;
    const char *hint;
    const char *with;
    Field field;
    bool optional;
};

template <class Setup>
std::vector<ParameterInfo> describe(const std::vector<Parameter<Setup>> &table)
{
    std::vector<ParameterInfo> infos;
    for (const Parameter<Setup> &p : table)
        infos.push_back({p.key, p.option, p.argument, p.needs, p.help, p.label, p.unit, p.initial,
                         p.hint, p.with, p.field, p.optional});
    return infos;
}

// A flag's text read: empty when it is yes or no, else what is allowed.
std::string takeFlag(const std::string &text, bool &into);

// A parameter that a kind cannot do without and was not given: "--meter is needed: ...".
std::string missing(const char *option, const char *label, Naming naming, const std::string &why);

// The label as the window shows it: "Cut-off".
std::string displayLabel(const char *label);

// A take's reason named: one that begins with "{}" has the name there ("{} takes ..."); any
// other follows the name and ": "; without a name, the reason alone.
std::string namedRefusal(const std::string &name, const std::string &why);

template <class Setup> std::string parameterName(const Parameter<Setup> &parameter, Naming naming)
{
    if (naming == Naming::Label)
        return displayLabel(parameter.label);
    // A word of the command is named as its usage names it: "STEP".
    return *parameter.option ? std::string(parameter.option) : std::string(parameter.argument);
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

// A kind's setup from its table, starting from `setup`, then checked whole by refusal (empty when
// it can be run so); nothing, with why, when one is wrong.
template <class Setup, class Refusal>
std::optional<Setup> readSetup(const std::vector<Parameter<Setup>> &table, const Texts &texts,
                               Naming naming, std::string &why, Setup setup, Refusal refusal)
{
    if (!readParameters(table, texts, naming, setup, why))
        return std::nullopt;
    why = refusal(setup, naming);
    if (!why.empty())
        return std::nullopt;
    return setup;
}

} // namespace rz417::measure
