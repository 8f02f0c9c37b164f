#pragma once

#include "scpi/ErrorQueue.h"
#include "scpi/Load.h"
#include "scpi/ProgramMessage.h"
#include "scpi/Watchdog.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace rz417::scpi {

struct ClientState;
struct Reply;

// One command as its handler sees it: its parameters, the client's status, the load, and the
// message's answers. The checks report what is wrong and what is allowed, and return false.
class Call
{
public:
    Call(const ProgramUnit &unit, int arg, ClientState &client, Load &load, Watchdog &watchdog,
         Reply &reply, bool &answered);

    const ProgramUnit &unit;
    const std::vector<Param> &params;
    const int arg; // the table row's own argument: a mode, a register
    ClientState &client;
    Load &load;
    Watchdog &watchdog; // the instrument's, which every client shares

    bool query() const { return unit.query; }
    // The header as written, quoted for a message.
    std::string header() const;
    void fail(int code, std::string text);
    // Adds a query's answer to the message's response line.
    void answer(std::string_view text);

    bool noParams();
    bool oneParam(const std::string &allowed);
    // A register value: NRf (or #H, #Q, #B) rounded to a whole number from 0 to top.
    bool registerValue(uint16_t top, uint16_t &value);
    // Sends a frame to the load; -240 with the line's error text when it did not go out.
    bool send(const std::string &frame, const std::string &meaning);

private:
    Reply &m_reply;
    bool &m_answered;
};

// What a parameter is, in words: "a number", "a string".
const char *kindName(ParamKind kind);

} // namespace rz417::scpi
