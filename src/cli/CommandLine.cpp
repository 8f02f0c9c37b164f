#include "cli/CommandLine.h"

#include "protocol/Frame.h"
#include "protocol/Modes.h"
#include "protocol/SetpointValue.h"

#include <algorithm>

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
    "\n"
    "usage: rz417ctl [-p PORT] [-v] [-q] [--dry-run] [--journal FILE] COMMAND...\n"
    "       rz417ctl [options] run FILE [--repeat N | --forever]\n"
    "       rz417ctl ports\n"
    "       rz417ctl [options] serve [--listen [ADDR:]TCPPORT]   SCPI over TCP\n"
    "\n"
    "Commands, run in the order given:\n"
    "  cv V, cc A, cp W, cr OHM  mode and setpoint: " + rangesText() +
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
           command == "wait" || command == "run";
}

const char *const kCommands = "cv, cc, cp, cr, on, off, wait, run, ports or serve";

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

// --listen [ADDRESS:]TCPPORT: an IPv4 address, an IPv6 one in brackets, or localhost.
std::string parseListen(const std::string &text, Invocation &inv)
{
    const std::string allowed = "--listen takes [ADDRESS:]TCPPORT: 5025, 127.0.0.1:5025, "
                                "0.0.0.0:5025 (every interface) or [::1]:5025; TCPPORT from 0 "
                                "(any free port) to 65535";
    const auto colon = text.rfind(':');
    std::string address = inv.listenAddress;
    std::string port = text;
    if (colon != std::string::npos) {
        address = text.substr(0, colon);
        port = text.substr(colon + 1);
        if (address.size() > 2 && address.front() == '[' && address.back() == ']') {
            address = address.substr(1, address.size() - 2);
            if (address.find_first_not_of("0123456789abcdefABCDEF:.") != std::string::npos ||
                address.find(':') == std::string::npos)
                return quotedWord(text) +
                       " does not hold an IPv6 address in its brackets: " + allowed;
        } else if (address == "localhost") {
            address = "127.0.0.1";
        } else if (!isIpv4(address)) {
            return quotedWord(address) + " is not an IP address: " + allowed;
        }
    }
    const Fixed number = parseFixed(port, 0, 0, 65535);
    if (!isDigits(port) || number.error != FixedError::None)
        return quotedWord(port) + " is not a TCP port: " + allowed;
    inv.listenAddress = address;
    inv.listenPort = static_cast<uint16_t>(number.value);
    return {};
}

} // namespace

ParsedCommandLine parseCommandLine(const std::vector<std::string> &args)
{
    ParsedCommandLine result;
    Invocation &inv = result.invocation;
    auto fail = [&result](std::string message) {
        result.invocation = Invocation();
        result.error = std::move(message);
        return result;
    };

    // --help and --version win over anything else on the line, as with most tools.
    for (const std::string &arg : args) {
        if (arg == "--")
            break;
        if (arg == "-h" || arg == "--help") {
            inv.action = Action::Help;
            return result;
        }
        if (arg == "-V" || arg == "--version") {
            inv.action = Action::Version;
            return result;
        }
    }

    bool run = false;
    bool ports = false;
    bool serve = false;
    std::optional<std::string> listen;
    bool repeatGiven = false;
    bool forever = false;
    bool optionsEnded = false;
    bool valueNext = false;
    std::vector<std::string> words; // the commands and their values, in order
    // An option given twice is refused: which of the two was meant is not for us to guess.
    auto twice = [&fail](const std::string &option, const std::string &first,
                         const std::string &second) {
        return fail(option + " is given twice (" + quotedWord(first) + " and " +
                    quotedWord(second) + "): give it once");
    };
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string &arg = args[i];
        // The value of an option: what follows '=' or the next word.
        auto optionValue = [&](std::size_t eq, std::string &value) -> bool {
            if (eq != std::string::npos) {
                value = arg.substr(eq + 1);
                return true;
            }
            if (i + 1 >= args.size())
                return false;
            value = args[++i];
            return true;
        };
        // A word right after cv, cc, cp, cr, wait or run is their value, whatever it looks like,
        // so that 'cv -5' is reported as a bad setpoint rather than an unknown option.
        if (valueNext || optionsEnded || arg.size() < 2 || arg[0] != '-') {
            words.push_back(arg);
            valueNext = !valueNext && takesValue(lower(arg));
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        if (arg.rfind("--", 0) == 0) {
            const auto eq = arg.find('=');
            const std::string name = arg.substr(0, eq);
            std::string value;
            if (name == "--verbose" && eq == std::string::npos) {
                inv.verbose = true;
            } else if (name == "--quiet" && eq == std::string::npos) {
                inv.quiet = true;
            } else if (name == "--dry-run" && eq == std::string::npos) {
                inv.dryRun = true;
            } else if (name == "--forever" && eq == std::string::npos) {
                forever = true;
            } else if (name == "--port") {
                if (!optionValue(eq, value))
                    return fail("--port needs a port number or a device path");
                if (inv.port)
                    return twice("-p", *inv.port, value);
                inv.port = value;
            } else if (name == "--journal") {
                if (!optionValue(eq, value) || value.empty())
                    return fail("--journal needs a file name");
                if (!inv.journal.empty())
                    return twice("--journal", inv.journal, value);
                inv.journal = value;
            } else if (name == "--listen") {
                if (!optionValue(eq, value))
                    return fail("--listen needs [ADDRESS:]TCPPORT, e.g. 5025 or 0.0.0.0:5025");
                if (listen)
                    return twice("--listen", *listen, value);
                listen = value;
            } else if (name == "--repeat") {
                if (!optionValue(eq, value))
                    return fail("--repeat needs a number of passes");
                if (repeatGiven)
                    return twice("--repeat", std::to_string(inv.repeat), value);
                const Fixed n = parseFixed(value, 0, 0, kMaxRepeat);
                if (n.error != FixedError::None || n.value < 1)
                    return fail(quotedWord(value) + " is not a number of passes: --repeat takes a "
                                                    "whole number from 1 to 1000000");
                inv.repeat = static_cast<int>(n.value);
                repeatGiven = true;
            } else {
                return fail("unknown option " + quotedWord(arg) +
                            ": see 'rz417ctl --help' for the options");
            }
            continue;
        }
        // Short options, bundled as -vq; -p takes the rest of the word or the next one.
        for (std::size_t k = 1; k < arg.size(); ++k) {
            const char c = arg[k];
            if (c == 'v') {
                inv.verbose = true;
            } else if (c == 'q') {
                inv.quiet = true;
            } else if (c == 'p') {
                std::string value;
                if (k + 1 < arg.size()) {
                    value = arg.substr(k + 1);
                } else if (i + 1 < args.size()) {
                    value = args[++i];
                } else {
                    return fail("-p needs a port number or a device path");
                }
                if (inv.port)
                    return twice("-p", *inv.port, value);
                inv.port = value;
                break;
            } else {
                return fail("unknown option " + quotedWord(std::string("-") + c) + " in " +
                            quotedWord(arg) + ": see 'rz417ctl --help' for the options");
            }
        }
    }
    if (inv.port && inv.port->empty())
        return fail("-p needs a port number or a device path, not an empty word");

    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string &word = words[i];
        const std::string name = lower(word);
        const bool hasValue = i + 1 < words.size();
        const std::string value = hasValue ? words[i + 1] : std::string();
        Command command;
        if (const ModeInfo *mode = name.size() == 2 ? modeByName(name) : nullptr) {
            const ParsedSetpoint setpoint = parseSetpoint(mode->code, value);
            if (!setpoint.value)
                return fail(setpoint.error);
            command.kind = CommandKind::Setpoint;
            command.mode = mode->code;
            command.value = *setpoint.value;
            command.text = name + " " + value;
            ++i;
        } else if (name == "on" || name == "off") {
            command.kind = CommandKind::Input;
            command.on = name == "on";
            command.text = name;
        } else if (name == "wait") {
            const ParsedWait wait = parseWait(value);
            if (!wait.value)
                return fail(wait.error);
            command.kind = CommandKind::Wait;
            command.wait = *wait.value;
            command.text = "wait " + value;
            ++i;
        } else if (name == "run") {
            if (!hasValue)
                return fail("run needs a program file: rz417ctl run FILE");
            if (run || !inv.commands.empty() || i + 2 < words.size())
                return fail("run takes one program file and no other command: give the "
                            "commands or the program, not both");
            run = true;
            inv.programFile = value;
            ++i;
            continue;
        } else if (name == "serve") {
            if (words.size() != 1)
                return fail("serve takes no other command: rz417ctl -p PORT serve [--listen "
                            "[ADDRESS:]TCPPORT]");
            serve = true;
            continue;
        } else if (name == "ports") {
            if (words.size() != 1)
                return fail("ports takes no other command: rz417ctl ports");
            ports = true;
            continue;
        } else {
            return fail(quotedWord(word) + " is not a command: give " + kCommands);
        }
        if (run)
            return fail("run takes one program file and no other command: give the commands "
                        "or the program, not both");
        inv.commands.push_back(std::move(command));
    }

    if (forever && repeatGiven)
        return fail("--repeat and --forever exclude each other: give one of them");
    if ((forever || repeatGiven) && !run)
        return fail(std::string(forever ? "--forever" : "--repeat") +
                    " goes with run FILE: rz417ctl run FILE --repeat N");
    if (listen && !serve)
        return fail("--listen goes with serve: rz417ctl -p PORT serve --listen [ADDRESS:]TCPPORT");
    if (serve) {
        if (inv.dryRun)
            return fail("--dry-run does not go with serve: a server needs the line; try it "
                        "against rz417-sim");
        if (listen) {
            if (std::string why = parseListen(*listen, inv); !why.empty())
                return fail(why);
        }
        inv.action = Action::Serve;
        return result;
    }
    if (run) {
        inv.action = Action::Run;
        inv.repeat = forever ? 0 : inv.repeat;
    } else if (ports) {
        inv.action = Action::Ports;
    } else if (inv.commands.empty()) {
        return fail(std::string("no command given: give ") + kCommands);
    }
    return result;
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
