#pragma once

#include "scpi/Instrument.h"

#include <QHostAddress>
#include <QObject>
#include <QTcpServer>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace rz417::scpinet {

class Advertiser;

// SCPI over a raw TCP socket, the way LAN instruments take it on port 5025: one program message
// per line, the answers in one line. Every client has its own error queue and status; all of
// them drive the one load. A client's messages run in the order they arrive, a few commands at a
// turn, so that one client's long message does not hold the others.
class ScpiServer : public QObject
{
    Q_OBJECT

public:
    static constexpr std::size_t kMaxLine = 64 * 1024;
    static constexpr int kMaxClients = 64;
    // Commands a client runs before the others get their turn.
    static constexpr int kTurn = 32;

    // Takes a line without its end; it must not block the server (a stopped terminal, a full
    // pipe), which has the input to switch off at a signal or a watchdog's trip.
    using Printer = std::function<void(const std::string &line)>;

    // currentPeer: set to "address:port" of the client whose message runs, for the frames' lines.
    // print: where -v lines go, or nothing; warn: where a refused client is told of, or standard
    // error.
    ScpiServer(scpi::Instrument &instrument, std::string &currentPeer, Printer print,
               Printer warn = {}, QObject *parent = nullptr);
    ~ScpiServer() override;

    // False with the reason when the address cannot be listened on.
    bool listen(const QHostAddress &address, uint16_t port, std::string &why);
    uint16_t port() const { return m_server->serverPort(); }
    // How the server is made known on the network (-v prints it): how it was advertised, or
    // why it was not; nothing on loopback.
    const std::string &advertising() const { return m_advertising; }

    // Asked before each command: once it says the server stops (a signal), no command runs
    // any more.
    void setStopCheck(std::function<bool()> stopping) { m_stopping = std::move(stopping); }
    // While held, no client's message runs: they wait, as while a box of the panel is open. They
    // are still read, up to the bound of a client's backlog, so that the watchdog hears them.
    // Answers already made still go out.
    void setHeld(bool held);
    // The watchdog on with a delay of seconds, counting from now.
    void armWatchdog(int seconds);
    // Told of each trip of the watchdog, after its frame: what happened ("no SCPI message for
    // 60 s: the input was switched off (66FFFF)").
    void setTripObserver(std::function<void(const std::string &)> observer)
    {
        m_tripObserver = std::move(observer);
    }
    // Told how many clients are connected whenever that changes.
    void setClientsObserver(std::function<void(int)> observer)
    {
        m_clientsObserver = std::move(observer);
    }

private:
    struct Client;
    void accept(qintptr descriptor);
    void serve(Client &client);
    // Runs the client's messages for one turn, reading it as they run out; true when it ended
    // with nothing more to run until more comes.
    bool runTurn(Client &client);
    // One read of the client into its input; true when that took all the system held.
    bool receive(Client &client);
    // After a turn: the input that ran let go, the answers (beyond the waiting ones, already
    // queued before) sent, and the client read again or dropped.
    void endTurn(Client &client, std::size_t waiting, bool idle);
    // Starts the next complete message in the client's input; false when there is none.
    bool startMessage(Client &client);
    void endMessage(Client &client);
    void takeTurnLater(Client &client);
    void tooLong(Client &client);
    void take(Client &client, const char *data, std::size_t size);
    bool flush(Client &client); // false when the client is gone
    void drop(Client &client);
    void clientsChanged();
    void print(const std::string &text) const;
    bool heldFull(const Client &client) const;
    bool readWanted(const Client &client) const;
    void hearHeld(Client &client);
    void scheduleWatchdog();
    void wakeAt(std::chrono::steady_clock::time_point at);
    void checkWatchdog();
    void tripWatchdog();

    scpi::Instrument &m_instrument;
    std::string &m_currentPeer;
    Printer m_print;
    Printer m_warn;
    std::unique_ptr<QTcpServer> m_server;
    std::vector<std::unique_ptr<Client>> m_clients;
    std::function<bool()> m_stopping;
    std::function<void(int)> m_clientsObserver;
    std::function<void(const std::string &)> m_tripObserver;
    QTimer m_watchdogTimer;
    std::chrono::steady_clock::time_point m_wakeAt{};
    std::unique_ptr<Advertiser> m_advertiser;
    std::string m_advertising;
    bool m_held = false;
};

// A client's text made safe for one terminal line: control and non-ASCII bytes as \xNN, cut
// after limit characters with "...".
std::string printableLine(const std::string &text, std::size_t limit);

} // namespace rz417::scpinet
