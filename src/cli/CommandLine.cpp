#include "cli/CommandLine.h"

#include "cli/CommandOptions.h"
#include "protocol/Frame.h"
#include "protocol/Modes.h"
#include "protocol/SetpointValue.h"
#include "scpi/ServerOptions.h"

#include <algorithm>
#include <set>

namespace rz417::cli {

namespace {

std::string lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; });
    return text;
}

struct ParsedWait
{
    std::optional<std::chrono::milliseconds> value;
    std::string error;
};

// SECONDS as wait takes it: a decimal number with '.', optionally followed by s or ms; whole
// milliseconds from 0 to a day.
ParsedWait parseWait(const std::string &text)
{
    const std::string allowed = "wait takes seconds from 0 to 86400 (a day) as digits with '.' "
                                "as the decimal point, optionally with s or ms: 10, 0.5, 250ms";
    if (text.empty())
        return {std::nullopt, "wait needs a time: " + allowed};
    std::string_view number = text;
    int exponent = 0;
    if (number.size() > 2 && number.substr(number.size() - 2) == "ms") {
        number.remove_suffix(2);
        exponent = -3;
    } else if (number.size() > 1 && number.back() == 's') {
        number.remove_suffix(1);
    }
    const Fixed fixed = parseFixed(number, 3, exponent, kMaxWait.count());
    switch (fixed.error) {
    case FixedError::None:
        return {std::chrono::milliseconds(fixed.value), {}};
    case FixedError::TooFine:
        return {std::nullopt, quotedWord(text) + " is finer than a millisecond: " + allowed};
    case FixedError::TooLarge:
        return {std::nullopt, quotedWord(text) + " is too long a wait: " + allowed};
    case FixedError::NotANumber:
        break;
    }
    return {std::nullopt, quotedWord(text) + " is not a time: " + allowed};
}

const char *const kCommands =
    "cv, cc, cp, cr, on, off, wait, run, ports, serve, battery, ocp, opp, sweep or dcir";

// run, serve, ports and the measured tests: the words that help takes.
bool isTopic(const std::string &word)
{
    return word == "run" || word == "serve" || word == "ports" || kinds::kindNamed(word);
}

} // namespace

namespace {

ParsedCommandLine failed(std::string message)
{
    ParsedCommandLine result;
    result.error = std::move(message);
    return result;
}

// --help and --version win over anything else on the line, as with most tools; the help of the
// subcommand on the line where there is one (battery --help).
std::optional<ParsedCommandLine> helpOrVersion(const std::vector<std::string> &args)
{
    ParsedCommandLine result;
    bool asked = false;
    for (const std::string &arg : args) {
        if (arg == "--")
            break;
        if (!asked && (arg == "-h" || arg == "--help" || arg == "-V" || arg == "--version")) {
            result.invocation.action =
                arg == "-h" || arg == "--help" ? Action::Help : Action::Version;
            asked = true;
        }
        const std::string word = lower(arg);
        if (result.invocation.helpTopic.empty() && isTopic(word))
            result.invocation.helpTopic = word;
    }
    if (!asked)
        return std::nullopt;
    return result;
}

// rz417ctl help [COMMAND].
ParsedCommandLine helpWord(const std::vector<std::string> &words)
{
    ParsedCommandLine result;
    result.invocation.action = Action::Help;
    if (words.size() == 1)
        return result;
    const std::string topic = lower(words[1]);
    if (words.size() > 2 || !isTopic(topic))
        return failed("help takes one of run, serve, ports, battery, ocp, opp, sweep or dcir, or "
                      "nothing: rz417ctl help battery");
    result.invocation.helpTopic = topic;
    return result;
}

// The words of the command line, once its options are taken: the commands and their values,
// or a subcommand and its words; then what the whole asks for. Each step returns false once
// fail() has said what is wrong.
class WordReader
{
public:
    WordReader(const std::vector<std::string> &words, OptionState &state)
        : m_words(words), m_state(state)
    {
    }

    ParsedCommandLine read()
    {
        for (std::size_t i = 0; i < m_words.size(); ++i) {
            if (!readWord(i))
                return m_result;
        }
        if (finish())
            m_result.invocation = std::move(m_state.invocation);
        return m_result;
    }

private:
    bool fail(std::string message)
    {
        m_result = failed(std::move(message));
        return false;
    }

    // One command and its value; i moves past the value.
    bool readWord(std::size_t &i)
    {
        Invocation &inv = m_state.invocation;
        const std::string &word = m_words[i];
        const std::string name = lower(word);
        const bool hasValue = i + 1 < m_words.size();
        const std::string value = hasValue ? m_words[i + 1] : std::string();
        const std::string oneCommand = "run takes one program file and no other command: give "
                                       "the commands or the program, not both";
        if (name == "run") {
            if (!hasValue)
                return fail("run needs a program file: rz417ctl run FILE");
            if (m_run || !inv.commands.empty() || i + 2 < m_words.size())
                return fail(oneCommand);
            m_run = true;
            inv.programFile = value;
            ++i;
            return true;
        }
        if (const kinds::Kind *kind = kinds::kindNamed(name))
            return readKind(*kind, i);
        if (name == "serve" || name == "ports") {
            if (m_words.size() != 1)
                return fail(name == "serve" ? "serve takes no other command: rz417ctl -p PORT "
                                              "serve [--listen [ADDRESS:]TCPPORT]"
                                            : "ports takes no other command: rz417ctl ports");
            (name == "serve" ? m_serve : m_ports) = true;
            return true;
        }
        Command command;
        if (!readCommand(name, word, value, command))
            return false;
        if (command.kind != CommandKind::Input)
            ++i;
        if (m_run)
            return fail(oneCommand);
        inv.commands.push_back(std::move(command));
        return true;
    }

    // A measured test's name and its words, alone.
    bool readKind(const kinds::Kind &kind, std::size_t &i)
    {
        const std::size_t count = kind.words.size() + 1;
        const std::string name(kind.name);
        if (m_words.size() < count && i == 0)
            return fail(name + " needs " + kind.wordsNeeded + ": " + kind.example);
        if (m_words.size() != count || i != 0)
            return fail(
                name + " takes " +
                (kind.words.empty() ? std::string("its options") : std::string(kind.wordsNeeded)) +
                " and no other command: " + kind.example);
        for (std::size_t k = 0; k < kind.words.size(); ++k)
            m_state.texts[kind.words[k]] = m_words[k + 1];
        m_kind = &kind;
        i += kind.words.size();
        return true;
    }

    bool readCommand(const std::string &name, const std::string &word, const std::string &value,
                     Command &command)
    {
        if (const ModeInfo *mode = name.size() == 2 ? modeByName(name) : nullptr) {
            const ParsedSetpoint setpoint = parseSetpoint(mode->code, value);
            if (!setpoint.value)
                return fail(setpoint.error);
            command.kind = CommandKind::Setpoint;
            command.mode = mode->code;
            command.value = *setpoint.value;
            command.text = name + " " + value;
            return true;
        }
        if (name == "on" || name == "off") {
            command.kind = CommandKind::Input;
            command.on = name == "on";
            command.text = name;
            return true;
        }
        if (name == "wait") {
            const ParsedWait wait = parseWait(value);
            if (!wait.value)
                return fail(wait.error);
            command.kind = CommandKind::Wait;
            command.wait = *wait.value;
            command.text = "wait " + value;
            return true;
        }
        return fail(quotedWord(word) + " is not a command: give " + kCommands);
    }

    // What the whole asks for; the options were checked against the subcommand before.
    bool finish()
    {
        Invocation &inv = m_state.invocation;
        if (m_kind) {
            std::string why;
            std::shared_ptr<const kinds::Test> test =
                m_kind->read(m_state.texts, measure::Naming::Option, why);
            if (!test)
                return fail(why);
            inv.kind = m_kind;
            inv.texts = m_state.texts;
            inv.test = std::move(test);
            inv.action = Action::Measure;
        } else if (m_serve) {
            if (m_state.listen) {
                if (std::string why =
                        scpi::parseListen(*m_state.listen, inv.listenAddress, inv.listenPort);
                    !why.empty())
                    return fail(why);
            }
            if (m_state.watchdog) {
                if (std::string why = scpi::parseWatchdog(*m_state.watchdog, inv.watchdog);
                    !why.empty())
                    return fail(why);
            }
            inv.action = Action::Serve;
        } else if (m_run) {
            inv.action = Action::Run;
            inv.repeat = m_state.forever ? 0 : inv.repeat;
        } else if (m_ports) {
            inv.action = Action::Ports;
        } else if (inv.commands.empty()) {
            return fail(std::string("no command given: give ") + kCommands);
        }
        return true;
    }

    const std::vector<std::string> &m_words;
    OptionState &m_state;
    ParsedCommandLine m_result;
    bool m_run = false;
    bool m_ports = false;
    bool m_serve = false;
    const kinds::Kind *m_kind = nullptr;
};

} // namespace

ParsedCommandLine parseCommandLine(const std::vector<std::string> &args)
{
    if (auto early = helpOrVersion(args))
        return *early;
    const options::Grammar &grammar = commandGrammar();
    const options::Sorted sorted = options::sortWords(grammar, args);
    if (!sorted.error.empty())
        return failed(sorted.error);
    if (!sorted.words.empty() && lower(sorted.words.front()) == "help")
        return helpWord(sorted.words);
    if (std::string why =
            options::checkTogether(grammar, sorted, options::subcommandOf(grammar, sorted.words));
        !why.empty())
        return failed(why);
    OptionState state;
    for (const options::Given &given : sorted.options) {
        if (std::string why = takeOption(given.row, given.value, state); !why.empty())
            return failed(why);
    }
    if (state.help || state.version) {
        ParsedCommandLine result; // bundled, as in -vh
        result.invocation.action = state.help ? Action::Help : Action::Version;
        return result;
    }
    return WordReader(sorted.words, state).read();
}

std::vector<PlannedFrame> planFrames(const std::vector<Command> &commands)
{
    std::vector<PlannedFrame> frames;
    for (std::size_t i = 0; i < commands.size(); ++i) {
        const Command &command = commands[i];
        PlannedFrame planned;
        planned.command = i;
        switch (command.kind) {
        case CommandKind::Setpoint:
            planned.frame = setpointFrame(command.mode, command.value);
            planned.meaning = setpointMeaning(command.mode, command.value);
            break;
        case CommandKind::Input:
            planned.frame = inputFrame(command.on);
            planned.meaning = inputMeaning(command.on);
            break;
        case CommandKind::Wait:
            planned.wait = command.wait;
            break;
        }
        frames.push_back(std::move(planned));
    }
    return frames;
}

std::vector<std::string> planNotices(const std::vector<Command> &commands)
{
    std::vector<std::string> notices;
    for (const Command &command : commands) {
        if (command.kind != CommandKind::Setpoint)
            continue;
        if (auto notice = roundingNotice(command.mode, command.value))
            notices.push_back(std::move(*notice));
    }
    return notices;
}

} // namespace rz417::cli
