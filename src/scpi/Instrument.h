#pragma once

#include "scpi/CommandTree.h"
#include "scpi/ErrorQueue.h"
#include "scpi/ProgramMessage.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace rz417::scpi {

// What every client shares: what this run last sent to the one load.
struct LoadState
{
    std::array<std::optional<int32_t>, 4> sent; // by mode code - 1, in the mode's steps
    int16_t mode = 0;                           // of the last setpoint sent; 0 before any
    bool inputOn = false;                       // the last input frame that went out
};

// One connection's own status: its error queue and the IEEE 488.2 registers.
struct ClientState
{
    ErrorQueue errors;
    uint8_t esr = 0; // standard event status
    uint8_t ese = 0;
    uint8_t sre = 0;
    uint16_t operationEnable = 0; // of the SCPI status registers, whose conditions never set
    uint16_t questionableEnable = 0;
};

// Where the frames go: empty when the frame went out, else the serial line's error text.
class FrameOutlet
{
public:
    virtual ~FrameOutlet() = default;
    virtual std::string send(const std::string &frame, const std::string &meaning) = 0;
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
    explicit Instrument(FrameOutlet &outlet) : m_outlet(outlet) {}

    // Runs one program message whole, without its terminator.
    Reply execute(std::string_view message, ClientState &client);
    // Runs the next command of a message; false once it is done.
    bool step(MessageRun &run, ClientState &client);

    const LoadState &load() const { return m_load; }
    // Whether the load's input may be on: an input-on frame was written, or began to be, and no
    // input-off frame went out after it.
    bool inputMayBeOn() const { return m_inputMayBeOn; }

    // The identity record *IDN? answers.
    static const std::string &identity();

private:
    struct Context;
    bool runCommand(const ProgramUnit &unit, CommandId command, Context &context);
    bool sendFrame(const std::string &frame, const std::string &meaning, Context &context);

    FrameOutlet &m_outlet;
    LoadState m_load;
    bool m_inputMayBeOn = false;
};

// Adds an error to a client's queue and sets its event status bit.
void reportError(ClientState &client, int code, std::string text);

} // namespace rz417::scpi
