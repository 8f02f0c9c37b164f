#include "scpi/Call.h"

#include "protocol/SetpointValue.h"
#include "scpi/Instrument.h"

namespace rz417::scpi {

Call::Call(const ProgramUnit &unit_, int arg_, ClientState &client_, Load &load_,
           Watchdog &watchdog_, Reply &reply, bool &answered)
    : unit(unit_), params(unit_.params), arg(arg_), client(client_), load(load_),
      watchdog(watchdog_), m_reply(reply), m_answered(answered)
{
}

std::string Call::header() const
{
    return quotedText(unit.header);
}

void Call::fail(int code, std::string text)
{
    reportError(client, code, std::move(text));
}

void Call::answer(std::string_view text)
{
    if (m_answered)
        m_reply.response += ';';
    m_reply.response += text;
    m_answered = true;
}

bool Call::noParams()
{
    if (params.empty())
        return true;
    fail(-108, "Parameter not allowed;" + header() + " takes no parameter");
    return false;
}

bool Call::oneParam(const std::string &allowed)
{
    if (params.size() == 1)
        return true;
    if (params.empty())
        fail(-109, "Missing parameter;" + header() + " takes " + allowed);
    else
        fail(-108, "Parameter not allowed;" + header() + " takes one parameter, " + allowed);
    return false;
}

bool Call::registerValue(uint16_t top, uint16_t &value)
{
    const std::string allowed = "a whole number from 0 to " + std::to_string(top);
    if (!oneParam(allowed))
        return false;
    const Param &p = params[0];
    if (p.kind == ParamKind::NonDecimal) {
        if (p.nonDecimal > top) {
            fail(-222, "Data out of range;" + header() + " takes " + allowed);
            return false;
        }
        value = static_cast<uint16_t>(p.nonDecimal);
        return true;
    }
    if (p.kind != ParamKind::Number) {
        fail(-104,
             "Data type error;" + header() + " takes " + allowed + ", not " + kindName(p.kind));
        return false;
    }
    if (!p.suffix.empty()) {
        fail(-138, "Suffix not allowed;" + header() + " takes " + allowed);
        return false;
    }
    const Fixed fixed = roundFixed(p.mantissa, 0, p.exponent, top);
    if (fixed.error != FixedError::None || (p.negative && fixed.value != 0)) {
        fail(-222,
             "Data out of range;" + quotedText(p.text) + ": " + header() + " takes " + allowed);
        return false;
    }
    value = static_cast<uint16_t>(fixed.value);
    return true;
}

bool Call::send(const std::string &frame, const std::string &meaning)
{
    if (const std::string conflict = load.settingsConflict(); !conflict.empty()) {
        fail(-221, "Settings conflict;" + conflict + ": the frame " + frame + " (" + meaning +
                       ") was not sent");
        return false;
    }
    const std::string failure = load.send(frame, meaning);
    if (!failure.empty()) {
        fail(-240, "Hardware error;" + failure + ": the frame " + frame + " (" + meaning +
                       ") did not go out");
        return false;
    }
    m_reply.frames.push_back(frame);
    return true;
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

} // namespace rz417::scpi
