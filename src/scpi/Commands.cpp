// The RZ-417's command tree: one row a command, each naming its handler. A handler checks its
// parameters, reports what is wrong (what is allowed included) and returns false, or does its
// command.
#include "protocol/Frame.h"
#include "protocol/Identity.h"
#include "protocol/Modes.h"
#include "protocol/SetpointValue.h"
#include "scpi/Call.h"
#include "scpi/CommandTree.h"
#include "scpi/Instrument.h"

namespace rz417::scpi {

namespace {

constexpr uint8_t kOperationComplete = 0x01;

// The command words of the modes, as FUNCtion takes and answers them.
struct ModeWord
{
    const char *longForm;
    const char *shortForm;
};
constexpr ModeWord kModeWords[] = {
    {"VOLTAGE", "VOLT"}, {"CURRENT", "CURR"}, {"POWER", "POW"}, {"RESISTANCE", "RES"}};

const ModeWord &modeWord(int16_t mode)
{
    return kModeWords[mode - 1];
}

std::string upperText(std::string text)
{
    for (char &c : text) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    return text;
}

// The unit SCPI writes for a mode: V, A, W, OHM.
std::string scpiUnit(const ModeInfo &mode)
{
    return upperText(mode.unitText);
}

// The power of ten a suffix scales by for a unit: "MA" with A is milli, "KOHM" kilo, "MOHM" mega.
std::optional<int> suffixExponent(const std::string &suffix, const std::string &unit)
{
    const std::string text = upperText(suffix);
    if (text.empty())
        return 0;
    if (unit == "OHM" && text == "MOHM")
        return 6; // SCPI reads M before OHM as mega, as before HZ
    if (text.size() < unit.size() || text.compare(text.size() - unit.size(), unit.size(), unit))
        return std::nullopt;
    const std::string prefix = text.substr(0, text.size() - unit.size());
    static const struct
    {
        const char *text;
        int exponent;
    } prefixes[] = {{"", 0},   {"EX", 18}, {"PE", 15}, {"T", 12},  {"G", 9},   {"MA", 6}, {"K", 3},
                    {"M", -3}, {"U", -6},  {"N", -9},  {"P", -12}, {"F", -15}, {"A", -18}};
    for (const auto &p : prefixes) {
        if (prefix == p.text)
            return p.exponent;
    }
    return std::nullopt;
}

bool isWord(const Param &param, const char *shortForm, const char *longForm)
{
    return param.kind == ParamKind::Word && (param.word == shortForm || param.word == longForm);
}

// A query that answers a fixed text and takes nothing.
bool answerWith(Call &c, const std::string &text)
{
    if (!c.noParams())
        return false;
    c.answer(text);
    return true;
}

bool identify(Call &c)
{
    return answerWith(c, Instrument::identity());
}

// *RST: the input off, and the watchdog with it once that went out; the setpoints stay.
bool reset(Call &c)
{
    if (!c.noParams() || !c.send(inputFrame(false), inputMeaning(false)))
        return false;
    c.watchdog.setOn(false);
    return true;
}

bool clearStatus(Call &c)
{
    if (!c.noParams())
        return false;
    c.client.errors.clear();
    c.client.esr = 0;
    c.client.questionableEvent = 0;
    return true;
}

// *ESE (arg 0) and *SRE (arg 1), and their queries.
bool eventEnable(Call &c)
{
    uint8_t &target = c.arg == 0 ? c.client.ese : c.client.sre;
    if (c.query())
        return answerWith(c, std::to_string(target));
    uint16_t value = 0;
    if (!c.registerValue(255, value))
        return false;
    // The service request enable has no bit 6: that is the summary itself.
    target = static_cast<uint8_t>(c.arg == 1 ? value & ~0x40 : value);
    return true;
}

bool eventStatus(Call &c)
{
    if (!answerWith(c, std::to_string(c.client.esr)))
        return false;
    c.client.esr = 0;
    return true;
}

bool statusByte(Call &c)
{
    int stb = 0;
    if (c.client.errors.size() > 0)
        stb |= 0x04; // error queue not empty
    if ((c.client.questionableEvent & c.client.questionableEnable) != 0)
        stb |= 0x08; // questionable summary
    if ((c.client.esr & c.client.ese) != 0)
        stb |= 0x20; // event status summary
    if ((stb & c.client.sre) != 0)
        stb |= 0x40; // master summary
    return answerWith(c, std::to_string(stb));
}

bool operationComplete(Call &c)
{
    if (!c.noParams())
        return false;
    // Every frame before this one is written when its command ends: nothing is pending.
    if (c.query())
        c.answer("1");
    else
        c.client.esr = static_cast<uint8_t>(c.client.esr | kOperationComplete);
    return true;
}

bool wait(Call &c)
{
    return c.noParams();
}

bool nextError(Call &c)
{
    return answerWith(c, errorResponse(c.client.errors.pop()));
}

bool errorCount(Call &c)
{
    return answerWith(c, std::to_string(c.client.errors.size()));
}

// STATus:OPERation's event and condition registers: nothing the one-way line could tell sets a
// bit of them.
bool statusZero(Call &c)
{
    return answerWith(c, "0");
}

// STATus:QUEStionable[:EVENt]? (arg 0), read and cleared, and :CONDition? (arg 1): the watchdog's
// bit.
bool questionable(Call &c)
{
    if (c.arg == 1)
        return answerWith(c, std::to_string(c.watchdog.condition(c.load.inputOnFrames())));
    if (!answerWith(c, std::to_string(c.client.questionableEvent)))
        return false;
    c.client.questionableEvent = 0;
    return true;
}

// The enable registers of STATus:OPERation (arg 0) and STATus:QUEStionable (arg 1).
bool statusEnable(Call &c)
{
    uint16_t &target = c.arg == 0 ? c.client.operationEnable : c.client.questionableEnable;
    if (c.query())
        return answerWith(c, std::to_string(target));
    // Bit 15 of a SCPI status register is never used.
    return c.registerValue(32767, target);
}

// SYSTem:REMote (arg 0), SYSTem:RWLock (1), SYSTem:LOCal (2).
bool remote(Call &c)
{
    if (!c.noParams())
        return false;
    c.load.remote(c.arg == 0   ? RemoteRequest::Remote
                  : c.arg == 1 ? RemoteRequest::RemoteWithLockout
                               : RemoteRequest::Local);
    return true;
}

bool statusPreset(Call &c)
{
    if (!c.noParams())
        return false;
    c.client.operationEnable = 0;
    c.client.questionableEnable = 0;
    return true;
}

bool measure(Call &c)
{
    c.fail(-241, "Hardware missing;the RZ-417 measures nothing it could report: its line only "
                 "takes commands");
    return false;
}

enum class Bound { None, Min, Max };

// What a query that takes nothing, MINimum or MAXimum asks for.
std::optional<Bound> boundParam(Call &c)
{
    const auto &params = c.params;
    if (params.size() > 1 || (params.size() == 1 && !isWord(params[0], "MIN", "MINIMUM") &&
                              !isWord(params[0], "MAX", "MAXIMUM"))) {
        c.fail(
            params.size() > 1 ? -108 : -224,
            std::string(params.size() > 1 ? "Parameter not allowed;" : "Illegal parameter value;") +
                c.header() + " takes nothing, MINimum or MAXimum");
        return std::nullopt;
    }
    if (params.empty())
        return Bound::None;
    return isWord(params[0], "MAX", "MAXIMUM") ? Bound::Max : Bound::Min;
}

// VOLTage? and the like: what went out in that mode (above 1 A in the 0.01 A steps the load
// takes), or the range's ends.
bool setpointQuery(Call &c, const ModeInfo &info)
{
    const std::optional<Bound> bound = boundParam(c);
    if (!bound)
        return false;
    if (*bound != Bound::None) {
        c.answer(fixedText(*bound == Bound::Max ? info.rangeTop : 0, info.decimals));
        return true;
    }
    const std::optional<int32_t> sent = c.load.sent(info.code);
    if (!sent) {
        c.fail(-221, "Settings conflict;no " + std::string(modeWord(info.code).shortForm) +
                         " setpoint was sent in this run, so the load's is not known");
        return false;
    }
    c.answer(fixedText(*sent, info.decimals));
    return true;
}

// A setpoint's value: MIN, MAX, DEF or a number with an optional unit, as it goes out.
std::optional<int32_t> setpointValue(Call &c, const ModeInfo &info, const std::string &allowed)
{
    const Param &p = c.params[0];
    if (isWord(p, "MIN", "MINIMUM") || isWord(p, "DEF", "DEFAULT"))
        return 0;
    if (isWord(p, "MAX", "MAXIMUM"))
        return info.rangeTop;
    if (p.kind == ParamKind::Word) {
        c.fail(-224, "Illegal parameter value;" + quotedText(p.text) + ": " + c.header() +
                         " takes " + allowed);
        return std::nullopt;
    }
    if (p.kind != ParamKind::Number) {
        c.fail(-104,
               "Data type error;" + c.header() + " takes " + allowed + ", not " + kindName(p.kind));
        return std::nullopt;
    }
    const std::string unit = scpiUnit(info);
    const std::optional<int> scale = suffixExponent(p.suffix, unit);
    if (!scale) {
        c.fail(-131, "Invalid suffix;" + quotedText(p.suffix) + ": " + c.header() + " takes " +
                         unit + " with an SI prefix (M" + unit + ", K" + unit + ") or no unit");
        return std::nullopt;
    }
    const Fixed fixed = roundSetpoint(info, p.mantissa, p.exponent + *scale);
    if (fixed.error != FixedError::None || (p.negative && fixed.value != 0)) {
        c.fail(-222, "Data out of range;" + quotedText(p.text) + ": " + c.header() +
                         " takes 0 to " + fixedText(info.rangeTop, info.decimals) + " " + unit);
        return std::nullopt;
    }
    return static_cast<int32_t>(fixed.value);
}

// VOLTage, CURRent, POWer, RESistance (arg: the mode): the setpoint goes out at once and selects
// its mode on the load.
bool setpoint(Call &c)
{
    const ModeInfo &info = *modeInfo(static_cast<int16_t>(c.arg));
    if (c.query())
        return setpointQuery(c, info);
    const std::string allowed = "0 to " + fixedText(info.rangeTop, info.decimals) + " " +
                                scpiUnit(info) + ", MINimum, MAXimum or DEFault";
    if (!c.oneParam(allowed))
        return false;
    const std::optional<int32_t> value = setpointValue(c, info, allowed);
    return value && c.send(setpointFrame(info.code, *value), setpointMeaning(info.code, *value));
}

// FUNCtion selects a mode by sending its last setpoint again.
bool function(Call &c)
{
    if (c.query())
        return answerWith(c, c.load.mode() == 0 ? "NONE" : modeWord(c.load.mode()).shortForm);
    const std::string allowed = "VOLTage, CURRent, POWer or RESistance";
    if (!c.oneParam(allowed))
        return false;
    const Param &p = c.params[0];
    int16_t mode = 0;
    for (int16_t m = ModeCodes::CV; m <= ModeCodes::CR; ++m) {
        if (isWord(p, modeWord(m).shortForm, modeWord(m).longForm))
            mode = m;
    }
    if (mode == 0) {
        const bool word = p.kind == ParamKind::Word;
        c.fail(word ? -224 : -104,
               std::string(word ? "Illegal parameter value;" : "Data type error;") +
                   quotedText(p.text) + ": " + c.header() + " takes " + allowed);
        return false;
    }
    const std::optional<int32_t> sent = c.load.sent(mode);
    if (!sent) {
        const std::string name = modeWord(mode).shortForm;
        c.fail(-221, "Settings conflict;no " + name +
                         " setpoint was sent in this run to select the mode with: send " + name +
                         " <value> first");
        return false;
    }
    return c.send(setpointFrame(mode, *sent), setpointMeaning(mode, *sent));
}

// A Boolean: ON, OFF, or a number rounded to a whole one, any but 0 meaning ON.
std::optional<bool> booleanValue(const Param &p)
{
    if (isWord(p, "ON", "ON"))
        return true;
    if (isWord(p, "OFF", "OFF"))
        return false;
    if (p.kind != ParamKind::Number || !p.suffix.empty())
        return std::nullopt;
    const Fixed fixed = roundFixed(p.mantissa, 0, p.exponent, 1);
    return fixed.error == FixedError::TooLarge || fixed.value != 0;
}

// A command's one Boolean parameter, or nothing when it reported what is wrong.
std::optional<bool> booleanParam(Call &c)
{
    const std::string allowed = "ON, OFF, 1 or 0";
    if (!c.oneParam(allowed))
        return std::nullopt;
    const Param &p = c.params[0];
    const std::optional<bool> on = booleanValue(p);
    if (!on) {
        const bool typed = p.kind == ParamKind::Word || p.kind == ParamKind::Number;
        c.fail(typed ? (p.suffix.empty() ? -224 : -138) : -104,
               std::string(!typed             ? "Data type error;"
                           : p.suffix.empty() ? "Illegal parameter value;"
                                              : "Suffix not allowed;") +
                   quotedText(p.text) + ": " + c.header() + " takes " + allowed);
    }
    return on;
}

bool input(Call &c)
{
    if (c.query())
        // 1 while an on frame may have reached the load, even one whose write failed part way.
        return answerWith(c, c.load.inputMayBeOn() ? "1" : "0");
    const std::optional<bool> on = booleanParam(c);
    return on && c.send(inputFrame(*on), inputMeaning(*on));
}

// OUTPut:PROTection:WDOG[:STATe]: the communication watchdog, counting from this message.
bool watchdogState(Call &c)
{
    if (c.query())
        return answerWith(c, c.watchdog.on() ? "1" : "0");
    const std::optional<bool> on = booleanParam(c);
    if (on)
        c.watchdog.setOn(*on);
    return on.has_value();
}

// The watchdog's delay: MIN, MAX, DEF or a number of seconds, with or without S, rounded to
// whole ones.
std::optional<int> delayValue(Call &c, const std::string &allowed)
{
    const Param &p = c.params[0];
    if (isWord(p, "MIN", "MINIMUM"))
        return Watchdog::kMinDelay;
    if (isWord(p, "MAX", "MAXIMUM"))
        return Watchdog::kMaxDelay;
    if (isWord(p, "DEF", "DEFAULT"))
        return Watchdog::kDefaultDelay;
    if (p.kind != ParamKind::Number) {
        const bool word = p.kind == ParamKind::Word;
        c.fail(word ? -224 : -104,
               std::string(word ? "Illegal parameter value;" : "Data type error;") +
                   quotedText(p.text) + ": " + c.header() + " takes " + allowed);
        return std::nullopt;
    }
    const std::optional<int> scale = suffixExponent(p.suffix, "S");
    if (!scale) {
        c.fail(-131, "Invalid suffix;" + quotedText(p.suffix) + ": " + c.header() +
                         " takes seconds, S, MS or no unit");
        return std::nullopt;
    }
    const Fixed fixed = roundFixed(p.mantissa, 0, p.exponent + *scale, Watchdog::kMaxDelay);
    if (fixed.error != FixedError::None || p.negative || fixed.value < Watchdog::kMinDelay) {
        c.fail(-222,
               "Data out of range;" + quotedText(p.text) + ": " + c.header() + " takes " + allowed);
        return std::nullopt;
    }
    return static_cast<int>(fixed.value);
}

// OUTPut:PROTection:WDOG:DELay and its query; a bad value leaves it as it was.
bool watchdogDelay(Call &c)
{
    if (c.query()) {
        const std::optional<Bound> bound = boundParam(c);
        if (bound)
            c.answer(std::to_string(*bound == Bound::Min   ? Watchdog::kMinDelay
                                    : *bound == Bound::Max ? Watchdog::kMaxDelay
                                                           : c.watchdog.delay()));
        return bound.has_value();
    }
    const std::string allowed =
        std::to_string(Watchdog::kMinDelay) + " to " + std::to_string(Watchdog::kMaxDelay) +
        " s, MINimum, MAXimum or DEFault (" + std::to_string(Watchdog::kDefaultDelay) + " s)";
    if (!c.oneParam(allowed))
        return false;
    const std::optional<int> seconds = delayValue(c, allowed);
    if (seconds)
        c.watchdog.setDelay(*seconds);
    return seconds.has_value();
}

} // namespace

const std::vector<Command> &commands()
{
    // clang-format off
    static const std::vector<Command> table{
        {"*IDN", false, true, identify, 0},
        {"*RST", true, false, reset, 0},
        {"*CLS", true, false, clearStatus, 0},
        {"*ESE", true, true, eventEnable, 0},
        {"*ESR", false, true, eventStatus, 0},
        {"*SRE", true, true, eventEnable, 1},
        {"*STB", false, true, statusByte, 0},
        {"*OPC", true, true, operationComplete, 0},
        {"*WAI", true, false, wait, 0},
        {"*TST", false, true, [](Call &c) { return answerWith(c, "0"); }, 0}, // the self-test passes
        {"SYSTem:ERRor[:NEXT]", false, true, nextError, 0},
        {"SYSTem:ERRor:COUNt", false, true, errorCount, 0},
        {"SYSTem:VERSion", false, true, [](Call &c) { return answerWith(c, "1999.0"); }, 0},
        {"SYSTem:REMote", true, false, remote, 0},
        {"SYSTem:RWLock", true, false, remote, 1},
        {"SYSTem:LOCal", true, false, remote, 2},
        {"STATus:OPERation[:EVENt]", false, true, statusZero, 0},
        {"STATus:OPERation:CONDition", false, true, statusZero, 0},
        {"STATus:OPERation:ENABle", true, true, statusEnable, 0},
        {"STATus:QUEStionable[:EVENt]", false, true, questionable, 0},
        {"STATus:QUEStionable:CONDition", false, true, questionable, 1},
        {"STATus:QUEStionable:ENABle", true, true, statusEnable, 1},
        {"STATus:PRESet", true, false, statusPreset, 0},
        {"[SOURce:]VOLTage[:LEVel][:IMMediate][:AMPLitude]", true, true, setpoint, ModeCodes::CV},
        {"[SOURce:]CURRent[:LEVel][:IMMediate][:AMPLitude]", true, true, setpoint, ModeCodes::CC},
        {"[SOURce:]POWer[:LEVel][:IMMediate][:AMPLitude]", true, true, setpoint, ModeCodes::CP},
        {"[SOURce:]RESistance[:LEVel][:IMMediate][:AMPLitude]", true, true, setpoint, ModeCodes::CR},
        {"[SOURce:]FUNCtion[:MODE]", true, true, function, 0},
        {"INPut[:STATe]", true, true, input, 0},
        {"OUTPut[:STATe]", true, true, input, 0},
        {"OUTPut:PROTection:WDOG[:STATe]", true, true, watchdogState, 0},
        {"OUTPut:PROTection:WDOG:DELay", true, true, watchdogDelay, 0},
        {"MEASure[:SCALar]:VOLTage[:DC]", false, true, measure, 0},
        {"MEASure[:SCALar]:CURRent[:DC]", false, true, measure, 0},
        {"MEASure[:SCALar]:POWer[:DC]", false, true, measure, 0},
    };
    // clang-format on
    return table;
}

} // namespace rz417::scpi
