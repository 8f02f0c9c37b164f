#include "cli/ConsoleWriter.h"

#include "cli/Console.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace rz417::cli {

struct ConsoleWriter::State
{
    struct Chunk
    {
        std::string text;
        bool status;
    };

    std::FILE *stream;
    std::mutex mutex;
    std::condition_variable wake;
    std::condition_variable written;
    std::deque<Chunk> queue;
    std::size_t queuedBytes = 0;
    long dropped = 0;
    bool writing = false;
    bool ending = false;

    void run()
    {
        std::unique_lock lock(mutex);
        for (;;) {
            wake.wait(lock, [this] { return ending || !queue.empty() || dropped > 0; });
            if (queue.empty() && dropped == 0)
                return;
            std::string text;
            if (!queue.empty()) {
                text = std::move(queue.front().text);
                queuedBytes -= queue.front().status ? 0 : text.size();
                queue.pop_front();
            } else {
                text = "(" + std::to_string(dropped) + " line" + (dropped == 1 ? "" : "s") +
                       " dropped: the output was not read in time)\n";
                dropped = 0;
            }
            writing = true;
            lock.unlock();
            const bool ok = writeWhole(stream, text);
            lock.lock();
            writing = false;
            // A reader that went away takes nothing more; what waits is let go.
            if (!ok) {
                queue.clear();
                queuedBytes = 0;
                dropped = 0;
            }
            written.notify_all();
        }
    }
};

ConsoleWriter::ConsoleWriter(std::FILE *stream) : m_state(std::make_shared<State>())
{
    m_state->stream = stream;
    // The thread holds the state, so that one left behind in a blocked write outlives this.
    std::thread([state = m_state] { state->run(); }).detach();
}

ConsoleWriter::~ConsoleWriter()
{
    flush(std::chrono::milliseconds(500));
    const std::lock_guard lock(m_state->mutex);
    m_state->ending = true;
    m_state->wake.notify_all();
}

void ConsoleWriter::status(std::string text)
{
    const std::lock_guard lock(m_state->mutex);
    auto &queue = m_state->queue;
    if (!queue.empty() && queue.back().status)
        queue.back().text = std::move(text);
    else
        queue.push_back({std::move(text), true});
    m_state->wake.notify_all();
}

void ConsoleWriter::line(std::string text)
{
    const std::lock_guard lock(m_state->mutex);
    if (m_state->queuedBytes + text.size() > kMaxQueued) {
        ++m_state->dropped;
        return;
    }
    m_state->queuedBytes += text.size();
    m_state->queue.push_back({std::move(text), false});
    m_state->wake.notify_all();
}

bool ConsoleWriter::flush(std::chrono::milliseconds timeout)
{
    std::unique_lock lock(m_state->mutex);
    return m_state->written.wait_for(lock, timeout, [this] {
        return m_state->queue.empty() && m_state->dropped == 0 && !m_state->writing;
    });
}

StatusLine::StatusLine(ConsoleWriter &writer, std::FILE *terminal, bool enabled)
    : m_writer(writer), m_terminal(terminal), m_enabled(enabled)
{
}

StatusLine::~StatusLine()
{
    clear();
}

void StatusLine::show(std::string text)
{
    if (!m_enabled)
        return;
    const int columns = terminalColumns(m_terminal);
    if (columns > 1 && text.size() >= static_cast<std::size_t>(columns))
        text.resize(static_cast<std::size_t>(columns) - 1);
    if (m_shown && text == m_lastText)
        return;
    m_writer.status("\r" + text + "\033[K");
    m_lastText = std::move(text);
    m_shown = true;
}

void StatusLine::clear()
{
    if (!m_shown)
        return;
    m_writer.status("\r\033[K");
    m_shown = false;
    m_lastText.clear();
}

} // namespace rz417::cli
