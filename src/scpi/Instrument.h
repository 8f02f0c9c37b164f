#pragma once

#include "scpi/ErrorQueue.h"
#include "scpi/Load.h"
#include "scpi/ProgramMessage.h"
#include "scpi/Watchdog.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace rz417::scpi {

// One connection's own status: its error queue and the IEEE 488.2 registers.
struct ClientState
{
    ErrorQueue errors;
    uint8_t esr = 0; // standard event status
    uint8_t ese = 0;
    uint8_t sre = 0;
    uint16_t operationEnable = 0; // of the SCPI status registers, whose conditions never set
    uint16_t questionableEnable = 0;
    uint16_t questionableEvent = 0; // what set since it was last read
};

// What one program message did: the response line (with its line feed; empty when no query
// answered) and the frames that went out, in order.
struct Reply
{
    std::string response;
    std::vector<std::string> frames;
};

// One program message on its way through the command tree. It runs a command at a time, so that
// a server can let other clients' messages in between and stop at the next command.
class MessageRun
{
public:
    // The message without its terminator.
    explicit MessageRun(std::string message);
    MessageRun(const MessageRun &) = delete;
    MessageRun &operator=(const MessageRun &) = delete;

    // Its last command has run, or an error ended it.
    bool done() const { return m_done; }
    // The answers so far; once done(), the whole response line with its line feed.
    const Reply &reply() const { return m_reply; }
    const std::string &text() const { return m_text; }

private:
    friend class Instrument;
    std::string m_text;
    MessageReader m_reader;
    std::vector<Node> m_path; // the header path that relative headers continue from
    Reply m_reply;
    bool m_answered = false;
    bool m_done = false;
};

// The RZ-417's command tree over the one-way line: runs program messages one after the other,
// each to its end or to its first error.
class Instrument
{
public:
    explicit Instrument(Load &load) : m_load(load) {}

    // Runs one program message whole, without its terminator.
    Reply execute(std::string_view message, ClientState &client);
    // Runs the next command of a message; false once it is done.
    bool step(MessageRun &run, ClientState &client);

    // Whether the load's input may be on: what a stop must switch off.
    bool inputMayBeOn() const { return m_load.inputMayBeOn(); }

    // The communication watchdog all clients share; the server tells it of their messages.
    Watchdog &watchdog() { return m_watchdog; }
    // The watchdog trips: its input-off frame goes out first, whatever the input may be (as a
    // bench supply's does), then its questionable condition sets. Returns the error every client
    // is told of it with tellTrip.
    ScpiError tripWatchdog();
    static void tellTrip(ClientState &client, const ScpiError &error);

    // The identity record *IDN? answers.
    static const std::string &identity();

private:
    Load &m_load;
    Watchdog m_watchdog;
};

// Adds an error to a client's queue and sets its event status bit.
void reportError(ClientState &client, int code, std::string text);

} // namespace rz417::scpi
