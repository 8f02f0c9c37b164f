#pragma once

#include "cli/CommandLine.h"
#include "cli/ConsoleWriter.h"
#include "frames/FrameText.h"
#include "cli/PortChoice.h"
#include "cli/SignalWatch.h"
#include "frames/FramePath.h"
#include "link/HostControl.h"
#include "program/HostSleep.h"
#include "program/Journal.h"

#include <QCoreApplication>

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace rz417::cli {

// Exit statuses.
constexpr int kExitSent = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

// What every command that reaches the load needs: the port, the journal, the signals and the
// line, opened in that order and only once everything before them is known to be right.
class Session
{
public:
    explicit Session(const Invocation &invocation);
    ~Session();
    Session(const Session &) = delete;
    Session &operator=(const Session &) = delete;

    // Chooses the port and opens the journal; nothing is sent or opened on the line yet. Returns
    // 0, or the exit status after a message on standard error.
    int prepare();
    // Opens the line for the first frame (stoppedAt names the command it belongs to). Returns 0,
    // or 1 after a message and a journal line for the frame that could not go out (none for an
    // empty frame: a server opens the line before it has any).
    int openLine(const std::string &frame, const std::string &meaning, const FrameSource &from,
                 const std::string &stoppedAt);

    FramePath &frames() { return m_frames; }
    SignalWatch &watch() { return m_signals; }
    bool quiet() const { return m_invocation.quiet; }
    const std::string &portLabel() const { return m_port.label; }

    // Sends one frame. False when the run must end: where it stopped is said once the input was
    // switched off (switchOffIfOn), or at the end (finish), never before.
    bool send(const std::string &frame, const std::string &meaning, const FrameSource &from,
              const std::string &stoppedAt);

    // From here the host's sleep is held off while the run holds the input on (see
    // RunSleepHold); where it cannot be, a notice says so once.
    void holdSleep(RunSleepHold::Until until);

    // The run ends early (a signal, a failure): an input that may be on goes off first, if the
    // line still takes it; then the user is told, what send() held back first. False when it may
    // still be on: the run then ends with 1, whatever ended it.
    bool switchOffIfOn(const FrameSource &from);

    // Closes the line once every frame has left it, and returns the run's exit status: status,
    // or 1 when the last frames may not have reached the load or the input may have been left
    // on by a failed switch-off.
    int finish(int status);

    // The progress line of a run on standard error, written so that it never holds the run up.
    StatusLine &progressLine() { return m_progress; }
    // Says what waits to be said (after the progress line is gone).
    void sayHeld();

    // A notice on standard error, unless -q.
    void notice(const std::string &text) const;
    static void error(const std::string &text);
    // A line on standard output, and an error line ("rz417ctl: text") on standard error, written
    // without waiting for the stream: for what a server says while it runs.
    void printLine(const std::string &line) { m_out.line(line + "\n"); }
    void say(const std::string &text) { m_err.line("rz417ctl: " + text + "\n"); }

    // The exit status for the signal caught: 128 + its number.
    int interruptedStatus(const std::string &where) const;

private:
    const Invocation &m_invocation;
    ConsoleWriter m_out{stdout};
    ConsoleWriter m_err{stderr};
    StatusLine m_progress;
    std::vector<std::string> m_held;
    bool m_offFailed = false;
    PortChoice m_port;
    std::unique_ptr<Journal> m_journal;
    SignalWatch m_signals;
    std::optional<QCoreApplication> m_app;
    std::unique_ptr<HostControl> m_line;
    FramePath m_frames;
    // After the application object, which Qt DBus needs, and gone before it.
    std::unique_ptr<SleepInhibitor> m_inhibitor;
    std::optional<RunSleepHold> m_sleep;
};

} // namespace rz417::cli
