#include "cli/CommandLine.h"

#include "protocol/Frame.h"
#include "protocol/Modes.h"
#include "protocol/SetpointValue.h"
#include "scpi/Watchdog.h"

#include <algorithm>
#include <set>

namespace rz417::cli {

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

} // namespace

std::string helpText()
{
    return "rz417ctl: send commands to an RZ-417 electronic load over its serial line\n"
           "usage: rz417ctl [-p PORT] [-v] [-q] [--dry-run] [--journal FILE] COMMAND...\n"
           "       rz417ctl [options] run FILE [--repeat N | --forever]\n"
           "       rz417ctl ports\n"
           "       rz417ctl [options] serve [--listen [ADDR:]TCPPORT] [--watchdog S]  SCPI\n"
           "       rz417ctl [options] battery cc|cp|cr VALUE --cutoff V|--time T...\n"
           "\n"
           "Commands, run in the order given:\n"
           "  cv V, cc A, cp W, cr OHM  mode and setpoint: " +
           rangesText() +
           "; with a unit or not: 12.34V, 1500mA\n"
           "  on, off                   switch the load's input on or off\n"
           "  wait SECONDS              wait before the next command: 10, 0.5, 250ms\n"
           "  run FILE                  run a program: CSV mode,setpoint,input,dwell,comment\n"
           "  ports                     list the numbered serial ports and who holds them\n"
           "Options:\n"
           "  -p, --port PORT     port number or device path; default $RZ417_PORT\n"
           "  -v, --verbose       print each frame as it goes out, with its time and meaning\n"
           "  -q, --quiet         no notices, no progress line\n"
           "      --dry-run       print the frames or the program's schedule; open nothing\n"
           "      --journal FILE  append one CSV line per frame to FILE\n"
           "      --repeat N      run the program N times; --forever: until interrupted\n"
           "Example: rz417ctl -p 1 cc 1.5 on wait 10 off\n"
           "Exit status: 0 sent, 1 line or journal failed, 2 usage, 130/143 interrupted.\n"
           "An input it switched on goes off if it is interrupted or fails. See rz417ctl(1).\n";
}

namespace {

constexpr int kMaxRepeat = 1000000;

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

bool takesValue(const std::string &command)
{
    return command == "cv" || command == "cc" || command == "cp" || command == "cr" ||
           command == "wait" || command == "run" || command == "battery";
}

const char *const kCommands = "cv, cc, cp, cr, on, off, wait, run, ports, serve or battery";

bool isDigits(std::string_view text)
{
    return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

// An IPv4 address in dotted decimal.
bool isIpv4(std::string_view text)
{
    int parts = 0;
    while (true) {
        const auto dot = text.find('.');
        const std::string_view part = text.substr(0, dot);
        if (!isDigits(part) || part.size() > 3 || std::stoi(std::string(part)) > 255)
            return false;
        ++parts;
        if (dot == std::string_view::npos)
            break;
        text.remove_prefix(dot + 1);
    }
    return parts == 4;
}

} // namespace

std::string parseListen(const std::string &text, std::string &address, uint16_t &port,
                        const std::string &takes)
{
    const std::string allowed = takes +
                                " takes [ADDRESS:]TCPPORT: 5025, 127.0.0.1:5025, "
                                "0.0.0.0:5025 (every interface) or [::1]:5025; TCPPORT from 0 "
                                "(any free port) to 65535";
    const auto colon = text.rfind(':');
    std::string host = "127.0.0.1";
    std::string number = text;
    if (colon != std::string::npos) {
        host = text.substr(0, colon);
        number = text.substr(colon + 1);
        if (host.size() > 2 && host.front() == '[' && host.back() == ']') {
            host = host.substr(1, host.size() - 2);
            if (host.find_first_not_of("0123456789abcdefABCDEF:.") != std::string::npos ||
                host.find(':') == std::string::npos)
                return quotedWord(text) +
                       " does not hold an IPv6 address in its brackets: " + allowed;
        } else if (host == "localhost") {
            host = "127.0.0.1";
        } else if (!isIpv4(host)) {
            return quotedWord(host) + " is not an IP address: " + allowed;
        }
    }
    const Fixed value = parseFixed(number, 0, 0, 65535);
    if (!isDigits(number) || value.error != FixedError::None)
        return quotedWord(number) + " is not a TCP port: " + allowed;
    address = host;
    port = static_cast<uint16_t>(value.value);
    return {};
}

std::string parseWatchdog(const std::string &text, int &seconds, const std::string &takes)
{
    using scpi::Watchdog;
    const std::string allowed = takes + " takes whole seconds from " +
                                std::to_string(Watchdog::kMinDelay) + " to " +
                                std::to_string(Watchdog::kMaxDelay) +
                                " without a SCPI message, after which the input goes off: 60 "
                                "or 60s";
    const std::string number =
        !text.empty() && text.back() == 's' ? text.substr(0, text.size() - 1) : text;
    const Fixed value = parseFixed(number, 0, 0, Watchdog::kMaxDelay);
    if (!isDigits(number) || value.error != FixedError::None || value.value < Watchdog::kMinDelay)
        return quotedWord(text) + " is not a watchdog delay: " + allowed;
    seconds = static_cast<int>(value.value);
    return {};
}

namespace {

// The command line as it is read: the options, then the commands and their values, then what
// goes with what. Each step returns false once fail() has said what is wrong.
class Parser
{
public:
    explicit Parser(const std::vector<std::string> &args) : m_args(args) {}

    ParsedCommandLine parse()
    {
        if (!helpOrVersion() && readArgs() && readWords())
            finish();
        return m_result;
    }

private:
    bool fail(std::string message)
    {
        m_result.invocation = Invocation();
        m_result.error = std::move(message);
        return false;
    }

    // An option given twice is refused: which of the two was meant is not for us to guess.
    bool twice(const std::string &option, const std::string &first, const std::string &second)
    {
        return fail(option + " is given twice (" + quotedWord(first) + " and " +
                    quotedWord(second) + "): give it once");
    }

    // --help and --version win over anything else on the line, as with most tools.
    bool helpOrVersion()
    {
        for (const std::string &arg : m_args) {
            if (arg == "--")
                break;
            if (arg == "-h" || arg == "--help" || arg == "-V" || arg == "--version") {
                m_result.invocation.action =
                    arg == "-h" || arg == "--help" ? Action::Help : Action::Version;
                return true;
            }
        }
        return false;
    }

    bool readArgs()
    {
        bool optionsEnded = false;
        bool valueNext = false;
        for (std::size_t i = 0; i < m_args.size(); ++i) {
            const std::string &arg = m_args[i];
            // A word right after cv, cc, cp, cr, wait or run is their value, whatever it looks
            // like, so that 'cv -5' is reported as a bad setpoint rather than an unknown option.
            if (valueNext || optionsEnded || arg.size() < 2 || arg[0] != '-') {
                m_words.push_back(arg);
                valueNext = !valueNext && takesValue(lower(arg));
            } else if (arg == "--") {
                optionsEnded = true;
            } else if (!(arg.rfind("--", 0) == 0 ? longOption(i) : shortOptions(i))) {
                return false;
            }
        }
        if (m_result.invocation.port && m_result.invocation.port->empty())
            return fail("-p needs a port number or a device path, not an empty word");
        return true;
    }

    // The value of an option: what follows '=' or the next word.
    bool optionValue(std::size_t &i, std::size_t eq, std::string &value) const
    {
        if (eq != std::string::npos) {
            value = m_args[i].substr(eq + 1);
            return true;
        }
        if (i + 1 >= m_args.size())
            return false;
        value = m_args[++i];
        return true;
    }

    bool setPort(const std::string &value)
    {
        Invocation &inv = m_result.invocation;
        if (inv.port)
            return twice("-p", *inv.port, value);
        inv.port = value;
        return true;
    }

    bool longOption(std::size_t &i)
    {
        Invocation &inv = m_result.invocation;
        const std::string arg = m_args[i];
        const auto eq = arg.find('=');
        const std::string name = arg.substr(0, eq);
        const bool bare = eq == std::string::npos;
        std::string value;
        if (bare && (name == "--verbose" || name == "--quiet" || name == "--dry-run" ||
                     name == "--forever")) {
            (name == "--verbose"   ? inv.verbose
             : name == "--quiet"   ? inv.quiet
             : name == "--dry-run" ? inv.dryRun
                                   : m_forever) = true;
            return true;
        }
        if (name == "--port") {
            if (!optionValue(i, eq, value))
                return fail("--port needs a port number or a device path");
            return setPort(value);
        }
        if (name == "--journal") {
            if (!optionValue(i, eq, value) || value.empty())
                return fail("--journal needs a file name");
            if (!inv.journal.empty())
                return twice("--journal", inv.journal, value);
            inv.journal = value;
            return true;
        }
        if (name == "--listen") {
            if (!optionValue(i, eq, value))
                return fail("--listen needs [ADDRESS:]TCPPORT, e.g. 5025 or 0.0.0.0:5025");
            if (m_listen)
                return twice("--listen", *m_listen, value);
            m_listen = value;
            return true;
        }
        if (name == "--watchdog") {
            if (!optionValue(i, eq, value))
                return fail("--watchdog needs SECONDS, e.g. 60");
            if (m_watchdog)
                return twice("--watchdog", *m_watchdog, value);
            m_watchdog = value;
            return true;
        }
        if (name == "--repeat")
            return repeat(i, eq);
        if (name == "--cutoff" || name == "--capacity" || name == "--energy" || name == "--time" ||
            name == "--interval" || name == "--meter" || name == "--meter-query" || name == "--log")
            return batteryOption(name, i, eq);
        return fail("unknown option " + quotedWord(arg) +
                    ": see 'rz417ctl --help' for the options");
    }

    bool repeat(std::size_t &i, std::size_t eq)
    {
        Invocation &inv = m_result.invocation;
        std::string value;
        if (!optionValue(i, eq, value))
            return fail("--repeat needs a number of passes");
        if (m_repeatGiven)
            return twice("--repeat", std::to_string(inv.repeat), value);
        const Fixed n = parseFixed(value, 0, 0, kMaxRepeat);
        if (n.error != FixedError::None || n.value < 1)
            return fail(quotedWord(value) + " is not a number of passes: --repeat takes a "
                                            "whole number from 1 to 1000000");
        inv.repeat = static_cast<int>(n.value);
        m_repeatGiven = true;
        return true;
    }

    // Short options, bundled as -vq; -p takes the rest of the word or the next one.
    bool shortOptions(std::size_t &i)
    {
        Invocation &inv = m_result.invocation;
        const std::string arg = m_args[i];
        for (std::size_t k = 1; k < arg.size(); ++k) {
            const char c = arg[k];
            if (c == 'v') {
                inv.verbose = true;
            } else if (c == 'q') {
                inv.quiet = true;
            } else if (c == 'p') {
                if (k + 1 < arg.size())
                    return setPort(arg.substr(k + 1));
                if (i + 1 < m_args.size())
                    return setPort(m_args[++i]);
                return fail("-p needs a port number or a device path");
            } else {
                return fail("unknown option " + quotedWord(std::string("-") + c) + " in " +
                            quotedWord(arg) + ": see 'rz417ctl --help' for the options");
            }
        }
        return true;
    }

    bool readWords()
    {
        for (std::size_t i = 0; i < m_words.size(); ++i) {
            if (!readWord(i))
                return false;
        }
        return true;
    }

    // One command and its value; i moves past the value.
    bool readWord(std::size_t &i)
    {
        Invocation &inv = m_result.invocation;
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
        if (name == "battery")
            return readBattery(i);
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

    // battery MODE VALUE, alone.
    bool readBattery(std::size_t &i)
    {
        BatteryPlan &plan = m_result.invocation.battery;
        if (m_words.size() < 3 && i == 0)
            return fail("battery needs a mode and its value: rz417ctl battery cc 2.5 --cutoff "
                        "3.0 --meter HOST:PORT");
        if (m_words.size() != 3 || i != 0)
            return fail("battery takes a mode and its value and no other command: rz417ctl "
                        "battery cc 2.5 --cutoff 3.0 --meter HOST:PORT");
        const std::string mode = lower(m_words[1]);
        const ModeInfo *info = mode.size() == 2 ? modeByName(mode) : nullptr;
        if (!info)
            return fail(quotedWord(m_words[1]) + " is not a mode: battery takes cc, cp or cr");
        const ParsedSetpoint setpoint = parseSetpoint(info->code, m_words[2]);
        if (!setpoint.value)
            return fail(setpoint.error);
        plan.mode = info->code;
        plan.value = *setpoint.value;
        plan.text = mode + " " + m_words[2];
        m_battery = true;
        i += 2;
        return true;
    }

    // The options of battery, each once.
    bool batteryOption(const std::string &name, std::size_t &i, std::size_t eq)
    {
        BatteryPlan &plan = m_result.invocation.battery;
        std::string value;
        if (!optionValue(i, eq, value))
            return fail(name + " needs a value: see 'rz417ctl --help'");
        if (!m_batteryOptions.insert(name).second)
            return fail(name + " is given twice: give it once");
        std::string why;
        const auto take = [&](std::optional<int64_t> parsed, std::optional<int64_t> &into) {
            into = parsed;
            return parsed ? true : fail(name + ": " + why);
        };
        if (name == "--cutoff")
            return take(battery::parseVolts(value, why), plan.stops.cutoffMillivolts);
        if (name == "--capacity")
            return take(battery::parseCapacity(value, why), plan.stops.capacityMicroAh);
        if (name == "--energy")
            return take(battery::parseEnergy(value, why), plan.stops.energyMilliWh);
        if (name == "--time")
            return take(battery::parseDuration(value, why), plan.stops.timeMs);
        if (name == "--interval") {
            const auto ms = battery::parseDuration(value, why);
            if (!ms || *ms < 200)
                return fail("--interval takes seconds from 0.2 on, such as 1, 0.5 or 10s, not " +
                            quotedWord(value));
            plan.interval = std::chrono::milliseconds(*ms);
            return true;
        }
        if (name == "--meter") {
            plan.meter = battery::parseMeterAddress(value, why);
            return plan.meter ? true : fail(why);
        }
        if (name == "--meter-query") {
            if (value.empty() || value.find_first_of("\r\n") != std::string::npos)
                return fail(std::string("--meter-query takes one SCPI query, such as ") +
                            battery::kDefaultMeterQuery);
            plan.meterQuery = value;
            return true;
        }
        if (value.empty())
            return fail("--log needs a file name");
        plan.log = value; // --log
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

    // What goes with what, and the action.
    bool finish()
    {
        Invocation &inv = m_result.invocation;
        if (m_forever && m_repeatGiven)
            return fail("--repeat and --forever exclude each other: give one of them");
        if ((m_forever || m_repeatGiven) && !m_run)
            return fail(std::string(m_forever ? "--forever" : "--repeat") +
                        " goes with run FILE: rz417ctl run FILE --repeat N");
        if (m_listen && !m_serve)
            return fail(
                "--listen goes with serve: rz417ctl -p PORT serve --listen [ADDRESS:]TCPPORT");
        if (m_watchdog && !m_serve)
            return fail("--watchdog goes with serve: rz417ctl -p PORT serve --watchdog SECONDS");
        if (!m_batteryOptions.empty() && !m_battery)
            return fail(*m_batteryOptions.begin() +
                        " goes with battery: rz417ctl battery MODE VALUE [stops] [--meter "
                        "ADDRESS]");
        if (m_battery) {
            if (inv.dryRun)
                return fail("--dry-run does not go with battery: a test needs the line and the "
                            "meter; try it against rz417-sim --battery");
            const std::string why = battery::Discharge::refusal(inv.battery.mode, inv.battery.stops,
                                                                inv.battery.meter.has_value());
            if (!why.empty())
                return fail(why);
            if (m_batteryOptions.count("--meter-query") && !inv.battery.meter)
                return fail("--meter-query goes with --meter ADDRESS");
            inv.action = Action::Battery;
            return true;
        }
        if (m_serve) {
            if (inv.dryRun)
                return fail("--dry-run does not go with serve: a server needs the line; try it "
                            "against rz417-sim");
            if (m_listen) {
                if (std::string why = parseListen(*m_listen, inv.listenAddress, inv.listenPort);
                    !why.empty())
                    return fail(why);
            }
            if (m_watchdog) {
                if (std::string why = parseWatchdog(*m_watchdog, inv.watchdog); !why.empty())
                    return fail(why);
            }
            inv.action = Action::Serve;
        } else if (m_run) {
            inv.action = Action::Run;
            inv.repeat = m_forever ? 0 : inv.repeat;
        } else if (m_ports) {
            inv.action = Action::Ports;
        } else if (inv.commands.empty()) {
            return fail(std::string("no command given: give ") + kCommands);
        }
        return true;
    }

    const std::vector<std::string> &m_args;
    ParsedCommandLine m_result;
    std::vector<std::string> m_words; // the commands and their values, in order
    bool m_run = false;
    bool m_ports = false;
    bool m_serve = false;
    bool m_repeatGiven = false;
    bool m_forever = false;
    std::optional<std::string> m_listen;
    std::optional<std::string> m_watchdog;
    bool m_battery = false;
    std::set<std::string> m_batteryOptions;
};

} // namespace

ParsedCommandLine parseCommandLine(const std::vector<std::string> &args)
{
    return Parser(args).parse();
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
