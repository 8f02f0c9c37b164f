#include "ctl/Commands.h"
#include "ctl/Session.h"
#include "frames/ScpiLoad.h"
#include "link/CommErrorText.h"
#include "protocol/Frame.h"
#include "scpinet/ListenAddress.h"
#include "scpinet/ScpiServer.h"

#include <QCoreApplication>
#include <QHostAddress>

#include <atomic>
#include <optional>
#include <thread>

namespace rz417::cli {

namespace {

// What the server says of a client's frame that failed, and of a journal that stops taking
// lines: that ends the server, as it ends a run.
class FrameReports
{
public:
    FrameReports(Session &session, const std::string &peer) : m_session(session), m_peer(peer) {}

    void report(const std::string &frame, const FramePath::Result &result)
    {
        // The watchdog's frame comes from no client.
        // Said without waiting: a stopped terminal must not hold the server.
        if (result.failure)
            m_session.say(frame + (m_peer.empty() ? "" : " from " + m_peer) + " did not go out: " +
                          commFailureText(*result.failure) + " on " + m_session.portLabel());
        if (!result.journalError.empty() && !m_journalFailed) {
            m_journalFailed = true;
            m_session.say(result.journalError + (!result.failure
                                                     ? " (the frame went out; the journal does "
                                                       "not show it); the server stops"
                                                     : "; the server stops"));
            QCoreApplication::exit(kExitFailed);
        }
    }

    bool journalFailed() const { return m_journalFailed; }

private:
    Session &m_session;
    const std::string &m_peer;
    bool m_journalFailed = false;
};

} // namespace

namespace {

// The address --listen names, and how to write it with its port; nothing after a message.
std::optional<QHostAddress> listenAddress(const Invocation &invocation, std::string &where)
{
    const auto host = scpinet::listenHost(invocation.listenAddress, where);
    if (!host)
        Session::error("'" + invocation.listenAddress +
                       "' is not an IP address this machine takes; nothing was sent");
    return host;
}

// Runs the event loop until a signal, or until something in it ends the server.
int runUntilSignal(Session &session)
{
    // The signals wake a thread of their own, which hands them to the event loop.
    std::atomic<bool> ended{false};
    std::thread watcher([&] {
        while (!ended && session.watch().sleepUntil(SteadyClock().now() + std::chrono::seconds(1)))
            ;
        if (!ended)
            QMetaObject::invokeMethod(
                QCoreApplication::instance(), [] { QCoreApplication::exit(0); },
                Qt::QueuedConnection);
    });
    const int loop = QCoreApplication::exec();
    ended = true;
    watcher.join();
    return loop;
}

// When the server ends, an input the clients may have left on goes off first; false when it may
// still be on.
bool switchOffAtEnd(Session &session, const scpi::Instrument &instrument,
                    const FrameReports &reports)
{
    if (!instrument.inputMayBeOn())
        return true;
    const FramePath::Result result =
        session.frames().send(inputFrame(false), inputMeaning(false), FrameSource{"scpi"});
    // What the server said meanwhile comes first, then this.
    session.sayHeld();
    if (result.failure)
        Session::error("could not switch the input off: " + commFailureText(*result.failure) +
                       "; it may still be on");
    else
        Session::error("switched the input off (" + inputFrame(false) + ")");
    if (!result.journalError.empty() && !reports.journalFailed())
        Session::error(result.journalError);
    return !result.failure;
}

// Listens where --listen says and tells what the server is now doing: serving, the watchdog,
// and clients from beyond this machine. False after a message.
bool startServing(scpinet::ScpiServer &server, Session &session, const Invocation &invocation,
                  const QHostAddress &address, const std::string &where)
{
    std::string why;
    if (!server.listen(address, invocation.listenPort, why)) {
        Session::error("cannot listen on " + where + ":" + std::to_string(invocation.listenPort) +
                       ": " + why + "; give another with --listen [ADDRESS:]TCPPORT");
        return false;
    }
    const std::string listening = where + ":" + std::to_string(server.port());
    session.notice("serving SCPI on " + listening + " for " + session.portLabel() +
                   "; Ctrl+C ends it");
    server.setTripObserver(
        [&session](const std::string &what) { session.say("watchdog: " + what); });
    if (invocation.watchdog > 0) {
        server.armWatchdog(invocation.watchdog);
        session.notice("watchdog on: the input goes off after " +
                       std::to_string(invocation.watchdog) + " s without a SCPI message");
    }
    if (!address.isLoopback())
        session.notice("listening beyond this machine: anyone who reaches " + listening +
                       " drives the load");
    return true;
}

// The server's exit status once its event loop has ended: the input goes off before it is said
// what ended it.
int endServing(Session &session, const scpi::Instrument &instrument, const FrameReports &reports,
               int loop)
{
    const int signal = session.watch().caught();
    const bool off = switchOffAtEnd(session, instrument, reports);
    if (reports.journalFailed() || !off)
        return kExitFailed;
    if (signal != 0) {
        session.notice(std::string("ended by ") + signalName(signal));
        return 128 + signal;
    }
    return loop;
}

} // namespace

int serveScpi(const Invocation &invocation)
{
    Session session(invocation);
    if (const int status = session.prepare())
        return status;
    std::string where;
    const std::optional<QHostAddress> address = listenAddress(invocation, where);
    if (!address)
        return kExitUsage;
    // Qt's own event loop instead of GLib's: GLib wakes itself through an extra descriptor each
    // time a socket's notifier is switched, a third more system calls per answer.
    if (!qEnvironmentVariableIsSet("QT_NO_GLIB"))
        qputenv("QT_NO_GLIB", "1");
    // The line opens at start, so that a port that will not open is known at once.
    if (const int status = session.openLine({}, {}, FrameSource{"scpi"}, "serve"))
        return status;

    // The clients' input on holds the host's sleep off, as a run's does, until it goes off.
    session.holdSleep(RunSleepHold::Until::InputOff);
    std::string peer;
    FrameReports reports(session, peer);
    ScpiLoad load(session.frames(), peer);
    load.setObserver([&reports](const std::string &frame, const FramePath::Result &result) {
        reports.report(frame, result);
    });
    scpi::Instrument instrument(load);
    // The server's lines go out by threads of their own: a stopped terminal or a full pipe holds
    // up neither the clients nor a stop.
    scpinet::ScpiServer server(
        instrument, peer,
        invocation.verbose ? [&session](const std::string &line) { session.printLine(line); }
                           : scpinet::ScpiServer::Printer{},
        [&session](const std::string &line) { session.say(line); });
    // A signal ends the message being run at its next command, so that the input goes off next.
    server.setStopCheck([&] { return session.watch().caught() != 0 || reports.journalFailed(); });
    if (!startServing(server, session, invocation, *address, where))
        return kExitFailed;
    const int loop = runUntilSignal(session);
    return endServing(session, instrument, reports, loop);
}

} // namespace rz417::cli
