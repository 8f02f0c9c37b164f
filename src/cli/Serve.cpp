#include "cli/Commands.h"
#include "cli/ScpiServer.h"
#include "cli/Session.h"
#include "protocol/Frame.h"

#include <QCoreApplication>
#include <QHostAddress>

#include <atomic>
#include <thread>

namespace rz417::cli {

namespace {

// A client's frames go out through the session: onto the line, into the journal, under -v,
// each naming the client it came from.
class SessionOutlet : public scpi::FrameOutlet
{
public:
    SessionOutlet(Session &session, const std::string &peer) : m_session(session), m_peer(peer) {}

    std::string send(const std::string &frame, const std::string &meaning) override
    {
        const FrameLine::Result result =
            m_session.frames().send(frame, meaning + " (from " + m_peer + ")", FrameSource{"scpi"});
        if (!result.lineError.empty())
            Session::error(frame + " from " + m_peer + " did not go out: " + result.lineDetail +
                           " on " + m_session.portLabel());
        if (!result.journalError.empty() && !m_journalFailed) {
            // A journal that stops taking lines ends the server, as it ends a run.
            m_journalFailed = true;
            Session::error(result.journalError + (result.lineError.empty()
                                                      ? " (the frame went out; the journal does "
                                                        "not show it); the server stops"
                                                      : "; the server stops"));
            QCoreApplication::exit(kExitFailed);
        }
        return result.lineError;
    }

    bool journalFailed() const { return m_journalFailed; }

private:
    Session &m_session;
    const std::string &m_peer;
    bool m_journalFailed = false;
};

} // namespace

int serveScpi(const Invocation &invocation)
{
    Session session(invocation);
    if (const int status = session.prepare())
        return status;
    QHostAddress address(QString::fromStdString(invocation.listenAddress));
    // An IPv4 address written as IPv6 (::ffff:127.0.0.1) is that IPv4 address: the system
    // listens on it only in that form.
    bool mapped = false;
    const quint32 ipv4 = address.toIPv4Address(&mapped);
    if (mapped && address.protocol() == QAbstractSocket::IPv6Protocol)
        address = QHostAddress(ipv4);
    const std::string text = address.toString().toStdString();
    const std::string where =
        address.protocol() == QAbstractSocket::IPv6Protocol ? "[" + text + "]" : text;
    if (address.isNull()) {
        Session::error("'" + invocation.listenAddress +
                       "' is not an IP address this machine "
                       "takes; nothing was sent");
        return kExitUsage;
    }
    // Qt's own event loop instead of GLib's: GLib wakes itself through an extra descriptor each
    // time a socket's notifier is switched, a third more system calls per answer.
    if (!qEnvironmentVariableIsSet("QT_NO_GLIB"))
        qputenv("QT_NO_GLIB", "1");
    // The line opens at start, so that a port that will not open is known at once.
    if (const int status = session.openLine({}, {}, FrameSource{"scpi"}, "serve"))
        return status;

    std::string peer;
    SessionOutlet outlet(session, peer);
    scpi::Instrument instrument(outlet);
    ScpiServer server(instrument, peer, invocation.verbose ? stdout : nullptr);
    // A signal ends the message being run at its next command, so that the input goes off next.
    server.setStopCheck([&] { return session.watch().caught() != 0 || outlet.journalFailed(); });
    std::string why;
    if (!server.listen(address, invocation.listenPort, why)) {
        Session::error("cannot listen on " + where + ":" + std::to_string(invocation.listenPort) +
                       ": " + why + "; give another with --listen [ADDRESS:]TCPPORT");
        return kExitFailed;
    }
    session.notice("serving SCPI on " + where + ":" + std::to_string(server.port()) + " for " +
                   session.portLabel() + "; Ctrl+C ends it");
    if (!address.isLoopback())
        session.notice("listening beyond this machine: anyone who reaches " + where + ":" +
                       std::to_string(server.port()) + " drives the load");

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

    const int signal = session.watch().caught();
    if (instrument.inputMayBeOn()) {
        const FrameLine::Result result =
            session.frames().send(inputFrame(false), inputMeaning(false), FrameSource{"scpi"});
        if (!result.lineError.empty())
            Session::error("could not switch the input off: " + result.lineDetail +
                           "; it may still be on");
        else
            Session::error("switched the input off (" + inputFrame(false) + ")");
        if (!result.journalError.empty() && !outlet.journalFailed())
            Session::error(result.journalError);
    }
    if (outlet.journalFailed())
        return kExitFailed;
    if (signal != 0) {
        session.notice(std::string("ended by ") + signalName(signal));
        return 128 + signal;
    }
    return loop;
}

} // namespace rz417::cli
