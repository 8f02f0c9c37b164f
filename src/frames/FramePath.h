#pragma once

#include "link/CommControl.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace rz417 {

class Journal;

// Where a frame comes from, for the journal and the -v lines.
struct FrameSource
{
    const char *source = "cli"; // "panel", "program", "cli", "scpi", or a measured test's: "ocp"
    int step = 0;               // programs: the step from 1 and its line in the file
    int line = 0;
    std::string client{}; // scpi: the client's address, named after the frame's meaning
};

// What the load was last sent, as the frames that went out tell it.
struct LoadRecord
{
    std::array<std::optional<int32_t>, 4> sent; // by mode code - 1, in the mode's steps as sent
    int16_t mode = 0;                           // of the last setpoint that went out; 0 before any
    bool inputOn = false; // the last input frame that went out switched the input on
    // An input-on frame was written, or began to be, and no input-off frame went out whole
    // after it: what a stop must switch off.
    bool inputMayBeOn = false;
    uint32_t inputOnFrames = 0; // written, or begun to be
};

// A frame as it went out (or, in a dry run, would).
struct SentFrame
{
    std::chrono::system_clock::time_point time;
    const std::string &frame;
    const std::string &meaning;
    const FrameSource &from;
};

// The one way a frame takes to the load, whoever sends it (a key, a program, rz417ctl, a SCPI
// client): onto the line through the serial control's contract, into the journal with its
// source, and into the record of what the load was last sent.
class FramePath
{
public:
    // How the journal words a write that failed: the serial error's text ("Tx queue is full"),
    // or that text with its cause ("Tx queue is full (write timed out)").
    enum class FailureText { Code, WithCause };

    struct Result
    {
        std::optional<CommError> failure; // the frame did not go out
        std::string journalError;         // the journal could not record it
        bool ok() const { return !failure && journalError.empty(); }
    };

    // line: nothing for a dry run, where every frame counts as sent.
    explicit FramePath(CommControl *line = nullptr) : m_line(line) {}

    void setLine(CommControl *line) { m_line = line; }
    // The journal every frame goes to, or nothing.
    void setJournal(Journal *journal, FailureText text = FailureText::Code);
    Journal *journal() const { return m_journal; }
    // Told of every frame that went out.
    void setObserver(std::function<void(const SentFrame &)> observer);
    // Told whenever the input's "may be on" changes, before the frame that switches it on is
    // written and after the one that switches it off went out whole.
    void setInputWatch(std::function<void(bool mayBeOn)> watch);

    // Writes the frame (an empty one is no frame: it is neither journaled nor recorded). at: the
    // time a dry run gives the frame.
    Result send(const std::string &frame, const std::string &meaning, const FrameSource &from,
                std::chrono::system_clock::time_point at = std::chrono::system_clock::now());
    // Journals a frame that could not go out because the line would not open; the journal's
    // error text when it could not record it.
    std::string journalRefused(const std::string &frame, const std::string &meaning,
                               const FrameSource &from, const CommError &failure);

    const LoadRecord &load() const { return m_load; }

private:
    void setMayBeOn(bool mayBeOn);
    std::string journal(std::chrono::system_clock::time_point time, const std::string &frame,
                        const std::string &meaning, const FrameSource &from,
                        const std::string &result);

    CommControl *m_line;
    Journal *m_journal = nullptr;
    FailureText m_failureText = FailureText::Code;
    std::function<void(const SentFrame &)> m_observer;
    std::function<void(bool)> m_inputWatch;
    LoadRecord m_load;
};

// A frame's meaning with the client it came from: "CC 1.50 A (from 127.0.0.1:40112)".
std::string meaningFrom(const std::string &meaning, const FrameSource &from);

} // namespace rz417
