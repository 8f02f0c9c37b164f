#include "scpi/Instrument.h"

#include "protocol/Identity.h"
#include "protocol/Frame.h"
#include "protocol/Modes.h"
#include "protocol/SetpointValue.h"

namespace rz417::scpi {

namespace {

// The IEEE 488.2 standard event status bits an error sets, by its class.
uint8_t eventBit(int code)
{
    if (code <= -100 && code > -200)
        return 0x20; // command error
    if (code <= -200 && code > -300)
        return 0x10; // execution error
    if (code <= -300 && code > -400)
        return 0x08; // device-dependent error
    if (code <= -400 && code > -500)
        return 0x04; // query error
    return 0;
}

constexpr uint8_t kOperationComplete = 0x01;

int16_t modeOf(CommandId id)
{
    switch (id) {
    case CommandId::Voltage:
        return ModeCodes::CV;
    case CommandId::Current:
        return ModeCodes::CC;
    case CommandId::Power:
        return ModeCodes::CP;
    case CommandId::Resistance:
        return ModeCodes::CR;
    default:
        return 0;
    }
}

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

// The unit SCPI writes for a mode: V, A, W, OHM.
std::string scpiUnit(const ModeInfo &mode)
{
    std::string unit = mode.unitText;
    for (char &c : unit) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    return unit;
}

std::string upperText(std::string text)
{
    for (char &c : text) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    return text;
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

const char *kindName(ParamKind kind)
{
    switch (kind) {
    case ParamKind::Number:
        return "a number";
    case ParamKind::Word:
        return "a word";
    case ParamKind::String:
        return "a string";
    case ParamKind::NonDecimal:
        return "a #H, #Q or #B number";
    case ParamKind::Block:
        return "block data";
    case ParamKind::Expression:
        return "an expression";
    }
    return "a parameter";
}

} // namespace

void reportError(ClientState &client, int code, std::string text)
{
    client.esr = static_cast<uint8_t>(client.esr | eventBit(code));
    const std::size_t before = client.errors.size();
    client.errors.push({code, std::move(text)});
    if (before >= ErrorQueue::kCapacity)
        client.esr = static_cast<uint8_t>(client.esr | eventBit(-350));
}

const std::string &Instrument::identity()
{
    // Maker, model, serial number (the RZ-417 reports none), version.
    static const std::string text =
        std::string(identity::kCompany) + "," + identity::kProduct + ",0," + identity::kVersion;
    return text;
}

struct Instrument::Context
{
    ClientState &client;
    Reply &reply;
    bool &answered;
    void fail(int code, std::string text) { reportError(client, code, std::move(text)); }
    // The answers of one message's queries, in one line.
    void answer(std::string_view text)
    {
        if (answered)
            reply.response += ';';
        reply.response += text;
        answered = true;
    }
};

MessageRun::MessageRun(std::string message) : m_text(std::move(message)), m_reader(m_text) {}

Reply Instrument::execute(std::string_view message, ClientState &client)
{
    MessageRun run{std::string(message)};
    while (step(run, client)) {
    }
    return std::move(run.m_reply);
}

bool Instrument::step(MessageRun &run, ClientState &client)
{
    if (run.m_done)
        return false;
    Context context{client, run.m_reply, run.m_answered};
    const auto end = [&] {
        run.m_done = true;
        if (run.m_answered)
            run.m_reply.response += '\n';
        return false;
    };
    UnitRead read = run.m_reader.next();
    if (read.kind == UnitRead::Kind::End)
        return end();
    if (read.kind == UnitRead::Kind::Error) {
        context.fail(read.errorCode, std::move(read.errorText));
        return end();
    }
    ProgramUnit &unit = read.unit;
    // A relative header continues the path of the command before it.
    std::vector<Node> full;
    const std::vector<Node> *header = &unit.nodes;
    std::vector<Node> &path = run.m_path;
    if (!unit.common && !unit.absolute && !path.empty()) {
        full = path;
        full.insert(full.end(), unit.nodes.begin(), unit.nodes.end());
        header = &full;
    }
    const HeaderMatch match = findCommand(*header, unit.common, unit.query);
    if (!match.found) {
        context.fail(match.errorCode, match.errorText);
        return end();
    }
    if (!unit.common)
        path.assign(header->begin(), header->end() - 1);
    if (!runCommand(unit, match.id, context))
        return end();
    return true;
}

bool Instrument::sendFrame(const std::string &frame, const std::string &meaning, Context &context)
{
    const std::string failure = m_load.send(frame, meaning);
    if (!failure.empty()) {
        context.fail(-240, "Hardware error;" + failure + ": the frame " + frame + " (" + meaning +
                               ") did not go out");
        return false;
    }
    context.reply.frames.push_back(frame);
    return true;
}

bool Instrument::runCommand(const ProgramUnit &unit, CommandId command, Context &context)
{
    ClientState &client = context.client;
    const std::vector<Param> &params = unit.params;
    // Only an error names the header: a command that runs does not build the text.
    const auto header = [&] { return quotedText(unit.header); };
    auto noParams = [&] {
        if (params.empty())
            return true;
        context.fail(-108, "Parameter not allowed;" + header() + " takes no parameter");
        return false;
    };
    auto oneParam = [&](const std::string &allowed) {
        if (params.size() == 1)
            return true;
        if (params.empty())
            context.fail(-109, "Missing parameter;" + header() + " takes " + allowed);
        else
            context.fail(-108,
                         "Parameter not allowed;" + header() + " takes one parameter, " + allowed);
        return false;
    };
    // A register value: NRf (or #H, #Q, #B) rounded to a whole number from 0 to top.
    auto registerValue = [&](uint16_t top, uint16_t &value) {
        const std::string allowed = "a whole number from 0 to " + std::to_string(top);
        if (!oneParam(allowed))
            return false;
        const Param &p = params[0];
        if (p.kind == ParamKind::NonDecimal) {
            if (p.nonDecimal > top) {
                context.fail(-222, "Data out of range;" + header() + " takes " + allowed);
                return false;
            }
            value = static_cast<uint16_t>(p.nonDecimal);
            return true;
        }
        if (p.kind != ParamKind::Number) {
            context.fail(-104, "Data type error;" + header() + " takes " + allowed + ", not " +
                                   kindName(p.kind));
            return false;
        }
        if (!p.suffix.empty()) {
            context.fail(-138, "Suffix not allowed;" + header() + " takes " + allowed);
            return false;
        }
        const Fixed fixed = roundFixed(p.mantissa, 0, p.exponent, top);
        if (fixed.error != FixedError::None || (p.negative && fixed.value != 0)) {
            context.fail(-222, "Data out of range;" + quotedText(p.text) + ": " + header() +
                                   " takes " + allowed);
            return false;
        }
        value = static_cast<uint16_t>(fixed.value);
        return true;
    };

    switch (command) {
    case CommandId::Idn:
        if (!noParams())
            return false;
        context.answer(identity());
        return true;
    case CommandId::Rst:
        return noParams() && sendFrame(inputFrame(false), inputMeaning(false), context);
    case CommandId::Cls:
        if (!noParams())
            return false;
        client.errors.clear();
        client.esr = 0;
        return true;
    case CommandId::Ese:
    case CommandId::Sre: {
        uint8_t &target = command == CommandId::Ese ? client.ese : client.sre;
        if (unit.query) {
            if (!noParams())
                return false;
            context.answer(std::to_string(target));
            return true;
        }
        uint16_t value = 0;
        if (!registerValue(255, value))
            return false;
        // The service request enable has no bit 6: that is the summary itself.
        target = static_cast<uint8_t>(command == CommandId::Sre ? value & ~0x40 : value);
        return true;
    }
    case CommandId::StatusOperationEvent:
    case CommandId::StatusOperationCondition:
    case CommandId::StatusQuestionableEvent:
    case CommandId::StatusQuestionableCondition:
        // Nothing the one-way line could tell sets a bit of either register.
        if (!noParams())
            return false;
        context.answer("0");
        return true;
    case CommandId::StatusOperationEnable:
    case CommandId::StatusQuestionableEnable: {
        uint16_t &target = command == CommandId::StatusOperationEnable ? client.operationEnable
                                                                       : client.questionableEnable;
        if (unit.query) {
            if (!noParams())
                return false;
            context.answer(std::to_string(target));
            return true;
        }
        // Bit 15 of a SCPI status register is never used.
        return registerValue(32767, target);
    }
    case CommandId::StatusPreset:
        if (!noParams())
            return false;
        client.operationEnable = 0;
        client.questionableEnable = 0;
        return true;
    case CommandId::Esr:
        if (!noParams())
            return false;
        context.answer(std::to_string(client.esr));
        client.esr = 0;
        return true;
    case CommandId::Stb: {
        if (!noParams())
            return false;
        int stb = 0;
        if (client.errors.size() > 0)
            stb |= 0x04; // error queue not empty
        if ((client.esr & client.ese) != 0)
            stb |= 0x20; // event status summary
        if ((stb & client.sre) != 0)
            stb |= 0x40; // master summary
        context.answer(std::to_string(stb));
        return true;
    }
    case CommandId::Opc:
        if (!noParams())
            return false;
        // Every frame before this one is written when its command ends: nothing is pending.
        if (unit.query)
            context.answer("1");
        else
            client.esr = static_cast<uint8_t>(client.esr | kOperationComplete);
        return true;
    case CommandId::Wai:
        return noParams();
    case CommandId::Tst:
        if (!noParams())
            return false;
        context.answer("0");
        return true;
    case CommandId::SystemError:
        if (!noParams())
            return false;
        context.answer(errorResponse(client.errors.pop()));
        return true;
    case CommandId::SystemErrorCount:
        if (!noParams())
            return false;
        context.answer(std::to_string(client.errors.size()));
        return true;
    case CommandId::SystemVersion:
        if (!noParams())
            return false;
        context.answer("1999.0");
        return true;
    case CommandId::MeasureVoltage:
    case CommandId::MeasureCurrent:
    case CommandId::MeasurePower:
        context.fail(-241, "Hardware missing;the RZ-417 measures nothing it could report: its "
                           "line only takes commands");
        return false;
    case CommandId::Voltage:
    case CommandId::Current:
    case CommandId::Power:
    case CommandId::Resistance:
        break;
    case CommandId::Function: {
        if (unit.query) {
            if (!noParams())
                return false;
            context.answer(m_load.mode() == 0 ? "NONE" : modeWord(m_load.mode()).shortForm);
            return true;
        }
        const std::string allowed = "VOLTage, CURRent, POWer or RESistance";
        if (!oneParam(allowed))
            return false;
        const Param &p = params[0];
        int16_t mode = 0;
        for (int16_t m = ModeCodes::CV; m <= ModeCodes::CR; ++m) {
            if (isWord(p, modeWord(m).shortForm, modeWord(m).longForm))
                mode = m;
        }
        if (mode == 0) {
            context.fail(p.kind == ParamKind::Word ? -224 : -104,
                         std::string(p.kind == ParamKind::Word ? "Illegal parameter value;"
                                                               : "Data type error;") +
                             quotedText(p.text) + ": " + header() + " takes " + allowed);
            return false;
        }
        const std::optional<int32_t> sent = m_load.sent(mode);
        if (!sent) {
            const std::string word = modeWord(mode).shortForm;
            context.fail(-221, "Settings conflict;no " + word +
                                   " setpoint was sent in this run to select the mode with: "
                                   "send " +
                                   word + " <value> first");
            return false;
        }
        return sendFrame(setpointFrame(mode, *sent), setpointMeaning(mode, *sent), context);
    }
    case CommandId::Input: {
        if (unit.query) {
            if (!noParams())
                return false;
            context.answer(m_load.inputOn() ? "1" : "0");
            return true;
        }
        const std::string allowed = "ON, OFF, 1 or 0";
        if (!oneParam(allowed))
            return false;
        const Param &p = params[0];
        std::optional<bool> on;
        if (isWord(p, "ON", "ON"))
            on = true;
        else if (isWord(p, "OFF", "OFF"))
            on = false;
        else if (p.kind == ParamKind::Number && p.suffix.empty()) {
            // A Boolean number is rounded to a whole one, and any but 0 means ON.
            const Fixed fixed = roundFixed(p.mantissa, 0, p.exponent, 1);
            on = fixed.error == FixedError::TooLarge || fixed.value != 0;
        }
        if (!on) {
            const bool typed = p.kind == ParamKind::Word || p.kind == ParamKind::Number;
            context.fail(typed ? (p.suffix.empty() ? -224 : -138) : -104,
                         std::string(!typed             ? "Data type error;"
                                     : p.suffix.empty() ? "Illegal parameter value;"
                                                        : "Suffix not allowed;") +
                             quotedText(p.text) + ": " + header() + " takes " + allowed);
            return false;
        }
        return sendFrame(inputFrame(*on), inputMeaning(*on), context);
    }
    }

    // A setpoint: it goes out at once and selects its mode on the load.
    const int16_t mode = modeOf(command);
    const ModeInfo &info = *modeInfo(mode);
    const std::string unitName = scpiUnit(info);
    const std::string range = "0 to " + fixedText(info.rangeTop, info.decimals) + " " + unitName;
    if (unit.query) {
        if (params.size() > 1 || (params.size() == 1 && !isWord(params[0], "MIN", "MINIMUM") &&
                                  !isWord(params[0], "MAX", "MAXIMUM"))) {
            context.fail(params.size() > 1 ? -108 : -224,
                         std::string(params.size() > 1 ? "Parameter not allowed;"
                                                       : "Illegal parameter value;") +
                             header() + " takes nothing, MINimum or MAXimum");
            return false;
        }
        if (params.size() == 1) {
            const bool max = isWord(params[0], "MAX", "MAXIMUM");
            context.answer(fixedText(max ? info.rangeTop : 0, info.decimals));
            return true;
        }
        const std::optional<int32_t> sent = m_load.sent(mode);
        if (!sent) {
            context.fail(-221, "Settings conflict;no " + std::string(modeWord(mode).shortForm) +
                                   " setpoint was sent in this run, so the load's is not known");
            return false;
        }
        // What went out: above 1 A in the 0.01 A steps the load takes.
        context.answer(fixedText(*sent, info.decimals));
        return true;
    }

    const std::string allowed = range + ", MINimum, MAXimum or DEFault";
    if (!oneParam(allowed))
        return false;
    const Param &p = params[0];
    int32_t value = 0;
    if (isWord(p, "MIN", "MINIMUM") || isWord(p, "DEF", "DEFAULT")) {
        value = 0;
    } else if (isWord(p, "MAX", "MAXIMUM")) {
        value = info.rangeTop;
    } else if (p.kind == ParamKind::Word) {
        context.fail(-224, "Illegal parameter value;" + quotedText(p.text) + ": " + header() +
                               " takes " + allowed);
        return false;
    } else if (p.kind != ParamKind::Number) {
        context.fail(-104, "Data type error;" + header() + " takes " + allowed + ", not " +
                               kindName(p.kind));
        return false;
    } else {
        const std::optional<int> scale = suffixExponent(p.suffix, unitName);
        if (!scale) {
            context.fail(-131, "Invalid suffix;" + quotedText(p.suffix) + ": " + header() +
                                   " takes " + unitName + " with an SI prefix (M" + unitName +
                                   ", K" + unitName + ") or no unit");
            return false;
        }
        const Fixed fixed = roundSetpoint(info, p.mantissa, p.exponent + *scale);
        if (fixed.error != FixedError::None || (p.negative && fixed.value != 0)) {
            context.fail(-222, "Data out of range;" + quotedText(p.text) + ": " + header() +
                                   " takes " + range);
            return false;
        }
        value = static_cast<int32_t>(fixed.value);
    }
    return sendFrame(setpointFrame(mode, value), setpointMeaning(mode, value), context);
}

} // namespace rz417::scpi
