#include "options/OptionTable.h"

#include "protocol/SetpointValue.h"

#include <algorithm>

namespace rz417::options {

namespace {

std::string seeHelp(const Grammar &grammar)
{
    return ": see '" + std::string(grammar.program) + " --help' for the options";
}

// Sorts the words in one pass; each step returns false once error is set.
class Sorter
{
public:
    Sorter(const Grammar &grammar, const std::vector<std::string> &args)
        : m_grammar(grammar), m_args(args)
    {
    }

    Sorted sort()
    {
        bool optionsEnded = false;
        bool valueNext = false;
        for (m_i = 0; m_i < m_args.size(); ++m_i) {
            const std::string &arg = m_args[m_i];
            if (valueNext || optionsEnded || arg.size() < 2 || arg[0] != '-') {
                m_sorted.words.push_back(arg);
                valueNext = !valueNext && m_grammar.takesValue && m_grammar.takesValue(arg);
            } else if (arg == "--") {
                optionsEnded = true;
            } else if (!(arg.rfind("--", 0) == 0 ? longOption(arg) : shortOptions(arg))) {
                return Sorted{{}, {}, m_sorted.error};
            }
        }
        ownRows();
        return std::move(m_sorted);
    }

private:
    bool fail(std::string message)
    {
        m_sorted.error = std::move(message);
        return false;
    }

    // Where several subcommands each have an option of that name, the row is the subcommand's.
    void ownRows()
    {
        const std::string_view command = subcommandOf(m_grammar, m_sorted.words).name;
        for (Given &given : m_sorted.options) {
            const std::string_view name = m_grammar.options[given.row].name;
            for (std::size_t row = 0; row < m_grammar.options.size(); ++row) {
                const OptionInfo &option = m_grammar.options[row];
                if (option.name == name && !option.scope.empty() && option.scope == command)
                    given.row = row;
            }
        }
    }

    bool longOption(const std::string &arg)
    {
        const auto eq = arg.find('=');
        const std::string name = arg.substr(0, eq);
        for (std::size_t row = 0; row < m_grammar.options.size(); ++row) {
            const OptionInfo &option = m_grammar.options[row];
            if (option.name != name)
                continue;
            if (option.argument.empty()) {
                if (eq != std::string::npos)
                    return fail(name + " takes no value, not " + quotedWord(arg.substr(eq + 1)));
                return take(row, name, {});
            }
            if (eq != std::string::npos)
                return take(row, name, arg.substr(eq + 1));
            return nextValue(row, name);
        }
        return fail("unknown option " + quotedWord(arg) + seeHelp(m_grammar));
    }

    bool shortOptions(const std::string &arg)
    {
        for (std::size_t k = 1; k < arg.size(); ++k) {
            const std::size_t row = shortRow(arg[k]);
            if (row == m_grammar.options.size())
                return fail("unknown option " + quotedWord(std::string("-") + arg[k]) + " in " +
                            quotedWord(arg) + seeHelp(m_grammar));
            const std::string spelled = std::string("-") + arg[k];
            if (m_grammar.options[row].argument.empty()) {
                if (!take(row, spelled, {}))
                    return false;
                continue;
            }
            if (k + 1 < arg.size())
                return take(row, spelled, arg.substr(k + 1));
            return nextValue(row, spelled);
        }
        return true;
    }

    std::size_t shortRow(char c) const
    {
        for (std::size_t row = 0; row < m_grammar.options.size(); ++row) {
            if (m_grammar.options[row].shortName == c)
                return row;
        }
        return m_grammar.options.size();
    }

    bool nextValue(std::size_t row, const std::string &spelled)
    {
        if (m_i + 1 >= m_args.size())
            return fail(displayName(m_grammar.options[row]) + " needs " +
                        std::string(m_grammar.options[row].needs));
        return take(row, spelled, m_args[++m_i]);
    }

    // A flag may come twice; an option with a value may not: which was meant is not ours to
    // guess.
    bool take(std::size_t row, const std::string &spelled, std::string value)
    {
        const OptionInfo &option = m_grammar.options[row];
        for (const Given &earlier : m_sorted.options) {
            if (earlier.row == row && !option.argument.empty())
                return fail(displayName(option) + " is given twice (" + quotedWord(earlier.value) +
                            " and " + quotedWord(value) + "): give it once");
        }
        m_sorted.options.push_back({row, spelled, std::move(value)});
        return true;
    }

    const Grammar &m_grammar;
    const std::vector<std::string> &m_args;
    std::size_t m_i = 0;
    Sorted m_sorted;
};

const OptionInfo *optionNamed(const Grammar &grammar, std::string_view name)
{
    for (const OptionInfo &option : grammar.options) {
        if (option.name == name)
            return &option;
    }
    return nullptr;
}

std::string spelledWithArgument(const OptionInfo &option)
{
    std::string text(option.name);
    if (!option.argument.empty())
        text += " " + std::string(option.argument);
    return text;
}

// The names of the subcommands in a scope, for "does not go with": "the commands, run".
std::string scopeNames(const Grammar &grammar, std::string_view scope)
{
    std::string text;
    for (const Subcommand &command : grammar.subcommands) {
        if (!inScope(scope, command.name))
            continue;
        if (!text.empty())
            text += ", ";
        text += command.name.empty() ? std::string("the commands") : std::string(command.name);
    }
    return text;
}

// True when one subcommand alone takes the option: its help goes with that subcommand's.
bool ownedByOne(const Grammar &grammar, const OptionInfo &option)
{
    for (const Subcommand &command : grammar.subcommands) {
        if (!command.name.empty() && option.scope == command.name)
            return true;
    }
    return false;
}

std::string outOfScope(const Grammar &grammar, const OptionInfo &option, const Subcommand &command)
{
    const std::string name(option.name);
    std::string owners;
    for (const OptionInfo &other : grammar.options) {
        if (other.name == name && &other != &option && ownedByOne(grammar, other))
            owners += ", " + std::string(other.scope);
    }
    if (!owners.empty() && ownedByOne(grammar, option))
        return name + " does not go with " +
               (command.name.empty() ? std::string("the commands") : std::string(command.name)) +
               ": it goes with " + std::string(option.scope) + owners;
    for (const Subcommand &owner : grammar.subcommands) {
        if (!owner.name.empty() && option.scope == owner.name)
            return name + " goes with " + std::string(owner.synopsis) + ": " +
                   std::string(grammar.program) + " " + std::string(owner.synopsis) + " " +
                   spelledWithArgument(option);
    }
    const std::string what = command.name.empty() ? "the commands" : std::string(command.name);
    return name + " does not go with " + what + ": it goes with " +
           scopeNames(grammar, option.scope);
}

// A word after a space, or on a new line under the first where it would run past width.
void appendWrapped(std::string &text, std::size_t &column, std::string_view word, std::size_t width,
                   std::size_t indent)
{
    if (!text.empty() && column + 1 + word.size() > width) {
        text += "\n" + std::string(indent, ' ');
        column = indent;
    } else if (!text.empty()) {
        text += ' ';
        ++column;
    }
    text += word;
    column += word.size();
}

// Help text that runs past the last column goes on under itself.
std::string wrapped(std::string_view help, std::size_t indent)
{
    constexpr std::size_t kWidth = 80;
    std::string text;
    std::size_t column = indent;
    while (!help.empty()) {
        const auto space = help.find(' ');
        const std::string_view word = help.substr(0, space);
        appendWrapped(text, column, word, kWidth, indent);
        help = space == std::string_view::npos ? std::string_view() : help.substr(space + 1);
    }
    return text;
}

} // namespace

Sorted sortWords(const Grammar &grammar, const std::vector<std::string> &args)
{
    return Sorter(grammar, args).sort();
}

bool given(const Grammar &grammar, const Sorted &sorted, std::string_view name)
{
    for (const Given &option : sorted.options) {
        if (grammar.options[option.row].name == name)
            return true;
    }
    return false;
}

bool inScope(std::string_view scope, std::string_view subcommand)
{
    if (scope.empty())
        return true;
    const std::string_view word = subcommand.empty() ? "commands" : subcommand;
    while (!scope.empty()) {
        const auto space = scope.find(' ');
        if (scope.substr(0, space) == word)
            return true;
        scope = space == std::string_view::npos ? std::string_view() : scope.substr(space + 1);
    }
    return false;
}

const Subcommand &subcommandOf(const Grammar &grammar, const std::vector<std::string> &words)
{
    std::string first = words.empty() ? std::string() : words.front();
    for (char &c : first)
        c = c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
    for (const Subcommand &command : grammar.subcommands) {
        if (!command.name.empty() && command.name == first)
            return command;
    }
    for (const Subcommand &command : grammar.subcommands) {
        if (command.name.empty())
            return command;
    }
    return grammar.subcommands.front();
}

std::string checkTogether(const Grammar &grammar, const Sorted &sorted, const Subcommand &command)
{
    for (const Given &given : sorted.options) {
        const OptionInfo &option = grammar.options[given.row];
        if (!inScope(option.scope, command.name))
            return outOfScope(grammar, option, command);
        if (!option.without.empty() && options::given(grammar, sorted, option.without))
            return std::string(option.name) + " and " + std::string(option.without) +
                   " exclude each other: give one of them";
        if (!option.with.empty() && !options::given(grammar, sorted, option.with)) {
            const OptionInfo *with = optionNamed(grammar, option.with);
            return std::string(option.name) + " goes with " +
                   (with ? spelledWithArgument(*with) : std::string(option.with));
        }
    }
    return {};
}

std::string usageOptions(const Grammar &grammar, std::string_view subcommand, std::size_t indent,
                         std::size_t width)
{
    std::string_view synopsis;
    for (const Subcommand &command : grammar.subcommands) {
        if (command.name == subcommand)
            synopsis = command.synopsis;
    }
    std::string text;
    std::size_t column = indent;
    for (const OptionInfo &option : grammar.options) {
        // One that the synopsis names is not optional: it stands there, without brackets.
        if (option.scope != subcommand ||
            synopsis.find(std::string(option.name) + " ") != std::string_view::npos)
            continue;
        appendWrapped(text, column, "[" + spelledWithArgument(option) + "]", width, indent);
    }
    return text;
}

std::string optionLines(const Grammar &grammar, std::string_view subcommand)
{
    const auto shown = [&](const OptionInfo &option) {
        return subcommand == "*" ? !ownedByOne(grammar, option) : option.scope == subcommand;
    };
    // A long name and argument get their help on a line of its own.
    constexpr std::size_t kNamesColumn = 20;
    std::size_t widest = 0;
    for (const OptionInfo &option : grammar.options) {
        const std::size_t size = spelledWithArgument(option).size();
        if (shown(option) && size <= kNamesColumn)
            widest = std::max(widest, size);
    }
    std::string text;
    for (const OptionInfo &option : grammar.options) {
        if (!shown(option))
            continue;
        const std::string names = spelledWithArgument(option);
        text += option.shortName ? std::string("  -") + option.shortName + ", " : "      ";
        text += names.size() > widest ? names + "\n" + std::string(widest + 8, ' ')
                                      : names + std::string(widest - names.size() + 2, ' ');
        text += wrapped(option.help, widest + 8) + "\n";
    }
    return text;
}

std::string displayName(const OptionInfo &option)
{
    return option.shortName ? std::string("-") + option.shortName : std::string(option.name);
}

} // namespace rz417::options
