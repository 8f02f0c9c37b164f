#pragma once

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>

namespace rz417::cli {

// Text for a terminal or a pipe, written by a thread of its own: a terminal stopped with Ctrl+S,
// a full pipe or a slow reader never holds up the run that produced it, nor the input-off frame
// of its stop. A status (the progress line) keeps only its newest text; lines queue, and beyond
// kMaxQueued bytes they are dropped and counted, and the count is said once they can go again.
class ConsoleWriter
{
public:
    static constexpr std::size_t kMaxQueued = 1 << 20;

    explicit ConsoleWriter(std::FILE *stream);
    // Waits a moment for what is queued; a stream that still does not take it is left to the
    // thread, which ends with the process.
    ~ConsoleWriter();
    ConsoleWriter(const ConsoleWriter &) = delete;
    ConsoleWriter &operator=(const ConsoleWriter &) = delete;

    // Text that replaces a status not yet written; after a line it goes out after that line.
    void status(std::string text);
    // A whole line, its end included.
    void line(std::string text);
    // Waits until everything queued was written, at most timeout; true when it was.
    bool flush(std::chrono::milliseconds timeout);

private:
    struct State;
    std::shared_ptr<State> m_state;
};

// A line redrawn in place on a terminal (the progress of a run), clipped to the terminal's width
// so that \r still reaches its start, and erased to its end; nothing when not enabled.
class StatusLine
{
public:
    StatusLine(ConsoleWriter &writer, std::FILE *terminal, bool enabled);
    ~StatusLine();
    StatusLine(const StatusLine &) = delete;
    StatusLine &operator=(const StatusLine &) = delete;

    bool enabled() const { return m_enabled; }
    void show(std::string text);
    // Removes the line, so that what follows starts at the left margin.
    void clear();

private:
    ConsoleWriter &m_writer;
    std::FILE *m_terminal;
    bool m_enabled;
    bool m_shown = false;
    std::string m_lastText;
};

} // namespace rz417::cli
