#include "ctl/Session.h"

#include "cli/Console.h"
#include "link/CommErrorText.h"
#include "link/LineSettings.h"
#include "power/SleepInhibitors.h"
#include "protocol/Frame.h"
#include "serial/HostPorts.h"
#include "serial/PortList.h"

#include <cstdio>
#include <cstdlib>

namespace rz417::cli {

namespace {

int g_argc = 1;
char g_name[] = "rz417ctl";
char *g_argv[] = {g_name, nullptr};

} // namespace

namespace {
// How long the end of a run waits for its progress and -v lines before it says more.
constexpr std::chrono::milliseconds kOutputWait{1000};
} // namespace

Session::Session(const Invocation &invocation)
    : m_invocation(invocation),
      // -v lines on the same terminal would land in the middle of the progress line.
      m_progress(m_err, stderr,
                 !invocation.quiet && isTerminal(stderr) &&
                     !(invocation.verbose && isTerminal(stdout)))
{
    // -v and a dry run print each frame as it goes out, by a thread of their own: a stopped
    // terminal holds up neither the next frame nor a stop.
    if (invocation.verbose || invocation.dryRun) {
        m_frames.setObserver([this](const SentFrame &sent) {
            m_out.line(frameLineText(sent.time, sent.frame, sent.meaning, sent.from) + "\n");
        });
    }
}

Session::~Session()
{
    if (m_line)
        m_line->release();
    m_progress.clear();
    m_out.flush(kOutputWait);
}

int Session::prepare()
{
    // A dry run opens nothing and needs no port, but a port it was given must be one.
    if (m_invocation.dryRun && !m_invocation.port)
        return 0;
    std::string word;
    if (m_invocation.port) {
        word = *m_invocation.port;
    } else if (const char *env = std::getenv("RZ417_PORT"); env && *env) {
        word = env;
    } else {
        error("no port given: give -p PORT (a number below or a device path), or set "
              "RZ417_PORT; nothing was sent");
        std::fputs(portListText(hostPortMap()).c_str(), stderr);
        return kExitUsage;
    }
    m_port = choosePort(word, hostPortMap());
    if (!m_port.error.empty()) {
        error(m_port.error + (m_invocation.port ? "" : " (from RZ417_PORT)"));
        return kExitUsage;
    }
    if (m_invocation.dryRun)
        return 0;
    if (!m_invocation.journal.empty()) {
        std::string why;
        m_journal = Journal::open(m_invocation.journal, why);
        if (!m_journal) {
            error(why + "; nothing was sent");
            return kExitFailed;
        }
    }
    return 0;
}

int Session::openLine(const std::string &frame, const std::string &meaning, const FrameSource &from,
                      const std::string &stoppedAt)
{
    m_frames.setJournal(m_journal.get());
    if (m_invocation.dryRun)
        return 0;
    // QSerialPort wants an application object for its notifiers; a core one, no GUI.
    m_app.emplace(g_argc, g_argv);
    m_line = makeHostControl(m_port.map);
    try {
        m_line->setCommPort(m_port.number);
        m_line->setSettings(kLoadLineSettings);
        m_line->setPortOpen(true);
    } catch (const CommError &failure) {
        const std::string cause =
            failure.refusal().empty()
                ? commErrorText(failure.code()) + " (" + m_port.label + ": " + failure.what() + ")"
                : commErrorText(failure.code()) + ": " + failure.refusal();
        error(stoppedAt + ": " + cause + "; nothing was sent");
        if (const std::string why = m_frames.journalRefused(frame, meaning, from, failure);
            !why.empty())
            error(why);
        m_line.reset();
        return kExitFailed;
    }
    m_frames.setLine(m_line.get());
    return 0;
}

bool Session::send(const std::string &frame, const std::string &meaning, const FrameSource &from,
                   const std::string &stoppedAt)
{
    const FramePath::Result result = m_frames.send(frame, meaning, from);
    if (result.failure)
        m_held.push_back("stopped at " + stoppedAt + ": " + commFailureText(*result.failure) +
                         " on " + m_port.label);
    if (!result.journalError.empty()) {
        m_held.push_back(
            "stopped at " + stoppedAt + ": " + result.journalError +
            (result.failure ? "" : " (the frame went out; the journal does not show it)"));
    }
    return result.ok();
}

void Session::holdSleep(RunSleepHold::Until until)
{
    if (!m_line)
        return;
    m_inhibitor = hostSleepInhibitor("rz417ctl");
    m_sleep.emplace(*m_inhibitor, until,
                    [this](const std::string &why) { notice("sleep is not held off: " + why); });
    m_sleep->inputChanged(m_frames.load().inputMayBeOn);
    m_frames.setInputWatch([this](bool mayBeOn) { m_sleep->inputChanged(mayBeOn); });
    m_sleep->runStarted();
}

bool Session::switchOffIfOn(const FrameSource &from)
{
    if (!m_line || !m_frames.load().inputMayBeOn) {
        sayHeld();
        return true;
    }
    const FramePath::Result result = m_frames.send(inputFrame(false), inputMeaning(false), from);
    sayHeld();
    if (result.failure) {
        m_offFailed = true;
        error("could not switch the input off: " + commFailureText(*result.failure) +
              "; it may still be on");
    } else {
        error("switched the input off (" + inputFrame(false) + ")");
    }
    if (!result.journalError.empty())
        error(result.journalError);
    return !result.failure;
}

void Session::sayHeld()
{
    m_progress.clear();
    m_err.flush(kOutputWait);
    m_out.flush(kOutputWait);
    for (const std::string &text : m_held)
        error(text);
    m_held.clear();
}

int Session::finish(int status)
{
    sayHeld();
    if (m_offFailed)
        status = kExitFailed;
    if (m_sleep)
        m_sleep->runEnded();
    if (!m_line)
        return status;
    try {
        m_line->setPortOpen(false);
    } catch (const CommError &failure) {
        error("the line did not finish sending: " + commFailureText(failure) + " on " +
              m_port.label + "; the last frames may not have reached the load");
        m_line.reset();
        return status == kExitSent ? kExitFailed : status;
    }
    m_line.reset();
    return status;
}

void Session::notice(const std::string &text) const
{
    if (!m_invocation.quiet)
        std::fprintf(stderr, "rz417ctl: %s\n", text.c_str());
}

void Session::error(const std::string &text)
{
    std::fprintf(stderr, "rz417ctl: %s\n", text.c_str());
}

int Session::interruptedStatus(const std::string &where) const
{
    const int signal = m_signals.caught();
    error(std::string("interrupted by ") + signalName(signal) + " at " + where);
    return 128 + signal;
}

} // namespace rz417::cli
