#include "scpinet/ScpiServer.h"

#include "frames/FrameText.h"
#include "scpinet/Advertiser.h"
#include "scpinet/ClientSocket.h"

#include <QEvent>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <functional>
#include <optional>
#include <utility>

namespace rz417::scpinet {

namespace {

// What one client's unread answers may hold in the server; past it, its messages wait in its own
// socket until it reads.
constexpr std::size_t kMaxBacklog = 256 * 1024;

std::string now()
{
    return clockText(std::chrono::system_clock::now());
}

// Hands each connection over as its descriptor, read and written through ClientSocket.
class Listener : public QTcpServer
{
public:
    explicit Listener(std::function<void(qintptr)> onConnection)
        : m_onConnection(std::move(onConnection))
    {
    }

protected:
    void incomingConnection(qintptr descriptor) override { m_onConnection(descriptor); }

private:
    std::function<void(qintptr)> m_onConnection;
};

// Calls its handler straight from the event loop's readiness event: QSocketNotifier's own
// emits two signals for each, which costs a query more than its parsing does.
class Notifier : public QSocketNotifier
{
public:
    Notifier(qintptr descriptor, Type type, std::function<void()> handler)
        : QSocketNotifier(descriptor, type), m_handler(std::move(handler))
    {
    }

protected:
    bool event(QEvent *e) override
    {
        // Windows reports a peer's close as SockClose; the read that follows finds it.
        if (e->type() != QEvent::SockAct && e->type() != QEvent::SockClose)
            return QSocketNotifier::event(e);
        m_handler();
        return true;
    }

private:
    std::function<void()> m_handler;
};

} // namespace

struct ScpiServer::Client
{
    uint64_t id = 0; // never reused, unlike an address
    std::unique_ptr<ClientSocket> socket;
    std::unique_ptr<Notifier> readable;
    std::unique_ptr<Notifier> writable;
    std::string peer;
    scpi::ClientState state;
    std::string input;     // what arrived and has not run; a message ends with a line feed
    std::size_t start = 0; // where the unfinished message begins in input
    std::size_t scanned = 0;
    bool discarding = false;                 // the rest of a line that was too long
    std::optional<scpi::MessageRun> running; // the message that has its turns now
    bool turnPending = false;                // its next turn is due
    bool peerClosed = false;                 // nothing more will come from it
    std::string unsent;                      // answers the client has not taken yet, from sent on
    std::size_t sent = 0;
    bool ended = false;

    std::size_t backlog() const { return unsent.size() - sent; }
};

std::string printableLine(const std::string &text, std::size_t limit)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (out.size() >= limit) {
            out += "...";
            break;
        }
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte >= 0x20 && byte < 0x7F) {
            out += text[i];
        } else {
            out += "\\x";
            out += digits[byte >> 4];
            out += digits[byte & 0xF];
        }
    }
    return out;
}

ScpiServer::ScpiServer(scpi::Instrument &instrument, std::string &currentPeer, Printer print,
                       Printer warn, QObject *parent)
    : QObject(parent), m_instrument(instrument), m_currentPeer(currentPeer),
      m_print(std::move(print)), m_warn(std::move(warn)),
      m_server(std::make_unique<Listener>([this](qintptr descriptor) { accept(descriptor); }))
{
    m_watchdogTimer.setSingleShot(true);
    m_watchdogTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_watchdogTimer, &QTimer::timeout, this, [this] { checkWatchdog(); });
}

ScpiServer::~ScpiServer() = default;

bool ScpiServer::listen(const QHostAddress &address, uint16_t port, std::string &why)
{
    if (!m_server->listen(address, port)) {
        why = m_server->errorString().toStdString();
        return false;
    }
    // Found on the network where it can be reached from it; a responder that is not there is
    // no reason not to serve.
    if (!address.isLoopback()) {
        m_advertiser = Advertiser::start(address, m_server->serverPort(), m_advertising);
        if (m_advertiser)
            m_advertising =
                "advertised as \"" + serviceName() + "\" (" + kServiceType + ") through mDNS";
        else
            m_advertising += "; the service is not advertised";
        print(m_advertising);
    }
    return true;
}

void ScpiServer::print(const std::string &text) const
{
    if (m_print)
        m_print(now() + " " + text);
}

void ScpiServer::accept(qintptr descriptor)
{
    auto client = std::make_unique<Client>();
    static uint64_t clients = 0;
    client->id = ++clients;
    client->socket = std::make_unique<ClientSocket>(descriptor);
    client->peer = client->socket->peer();
    if (m_clients.size() >= static_cast<std::size_t>(kMaxClients)) {
        const std::string refused = "refused " + client->peer + ": " + std::to_string(kMaxClients) +
                                    " clients are connected already";
        if (m_warn)
            m_warn(refused);
        else
            std::fprintf(stderr, "rz417ctl: %s\n", refused.c_str());
        return;
    }
    client->socket->setLowDelay();
    Client *raw = client.get();
    client->readable =
        std::make_unique<Notifier>(descriptor, QSocketNotifier::Read, [this, raw] { serve(*raw); });
    client->writable = std::make_unique<Notifier>(descriptor, QSocketNotifier::Write, [this, raw] {
        if (!flush(*raw))
            return;
        // A client that reads its answers again lets the server read its messages again.
        if (raw->backlog() < kMaxBacklog / 2)
            serve(*raw);
    });
    client->writable->setEnabled(false);
    client->readable->setEnabled(!m_held);
    m_clients.push_back(std::move(client));
    print(raw->peer + " connected");
    clientsChanged();
}

void ScpiServer::tooLong(Client &client)
{
    scpi::reportError(client.state, -223,
                      "Too much data;a line longer than 65536 bytes was dropped: a program "
                      "message ends with a line feed within 64 KiB");
    print(client.peer + " < a line longer than 64 KiB, dropped");
}

void ScpiServer::take(Client &client, const char *data, std::size_t size)
{
    // Any line that arrives is a client's sign of life.
    if (std::find(data, data + size, '\n') != data + size)
        m_instrument.watchdog().feed(std::chrono::steady_clock::now());
    if (client.discarding) {
        const char *end = std::find(data, data + size, '\n');
        if (end == data + size)
            return;
        client.discarding = false;
        size -= static_cast<std::size_t>(end + 1 - data);
        data = end + 1;
    }
    client.input.append(data, size);
    if (client.input.find('\n', client.scanned) != std::string::npos)
        return;
    client.scanned = client.input.size();
    if (client.input.size() - client.start <= kMaxLine)
        return;
    // No line feed within the limit: the line is dropped up to its end, the connection kept.
    client.input.resize(client.start);
    client.scanned = client.start;
    client.discarding = true;
    tooLong(client);
}

bool ScpiServer::startMessage(Client &client)
{
    const std::size_t end = client.input.find('\n', client.scanned);
    if (end == std::string::npos) {
        client.scanned = client.input.size();
        return false;
    }
    const std::size_t start = client.start;
    client.start = client.scanned = end + 1;
    // However it arrived: a line that came whole within one read is held to the same limit.
    if (end - start > kMaxLine) {
        tooLong(client);
        return true;
    }
    std::size_t length = end - start;
    if (length > 0 && client.input[end - 1] == '\r')
        --length; // CR LF
    client.running.emplace(client.input.substr(start, length));
    if (m_print)
        print(client.peer + " < " + printableLine(client.running->text(), 200));
    return true;
}

void ScpiServer::endMessage(Client &client)
{
    const std::string &response = client.running->reply().response;
    if (m_print && !response.empty())
        print(client.peer + " > " + printableLine(response.substr(0, response.size() - 1), 200));
    client.unsent += response;
    client.running.reset();
}

void ScpiServer::takeTurnLater(Client &client)
{
    if (client.turnPending)
        return;
    client.turnPending = true;
    // A timer, not a posted call: the event loop looks at the sockets first, so every client
    // with a message waiting gets its turn before this one's next.
    QTimer::singleShot(0, this, [this, id = client.id] {
        const auto it = std::find_if(m_clients.begin(), m_clients.end(),
                                     [&](const auto &c) { return c->id == id; });
        if (it == m_clients.end())
            return;
        (*it)->turnPending = false;
        serve(**it);
    });
}

bool ScpiServer::heldFull(const Client &client) const
{
    return client.input.size() - client.start >= kMaxBacklog;
}

bool ScpiServer::readWanted(const Client &client) const
{
    if (client.ended || client.peerClosed || client.turnPending || client.backlog() >= kMaxBacklog)
        return false;
    return !m_held || !heldFull(client);
}

void ScpiServer::hearHeld(Client &client)
{
    char buffer[16384];
    while (!client.peerClosed && !heldFull(client)) {
        std::size_t n = 0;
        const ClientSocket::Io io = client.socket->receive(buffer, sizeof buffer, n);
        if (io == ClientSocket::Io::Done) {
            take(client, buffer, n);
        } else if (io == ClientSocket::Io::WouldBlock) {
            break;
        } else {
            if (io == ClientSocket::Io::Failed)
                print(client.peer + " " + client.socket->errorText());
            client.peerClosed = true;
        }
    }
    client.readable->setEnabled(readWanted(client));
}

void ScpiServer::setHeld(bool held)
{
    if (held == m_held)
        return;
    m_held = held;
    for (const auto &client : m_clients) {
        if (client->ended)
            continue;
        client->readable->setEnabled(readWanted(*client));
        // What came meanwhile, and a message that was running, get their turn.
        if (!held)
            takeTurnLater(*client);
    }
}

void ScpiServer::clientsChanged()
{
    if (!m_clientsObserver)
        return;
    int live = 0;
    for (const auto &client : m_clients)
        live += client->ended ? 0 : 1;
    m_clientsObserver(live);
}

bool ScpiServer::receive(Client &client)
{
    char buffer[16384];
    std::size_t n = 0;
    const ClientSocket::Io io = client.socket->receive(buffer, sizeof buffer, n);
    if (io == ClientSocket::Io::Done) {
        take(client, buffer, n);
        // A short read took all there was; the notifier says when more comes, which saves a read
        // that would find nothing.
        return n < sizeof buffer;
    }
    if (io == ClientSocket::Io::WouldBlock)
        return true;
    if (io == ClientSocket::Io::Failed)
        print(client.peer + " " + client.socket->errorText());
    client.peerClosed = true;
    return false;
}

bool ScpiServer::runTurn(Client &client)
{
    bool drained = false; // everything the system held has been read
    int turn = kTurn;
    while (client.backlog() < kMaxBacklog) {
        // A box the running command opened holds the rest until it is closed.
        if (m_held || (m_stopping && m_stopping()))
            break;
        if (!client.running) {
            if (startMessage(client))
                continue;
            if (drained || client.peerClosed)
                return true;
            drained = receive(client);
            continue;
        }
        if (turn-- == 0) {
            takeTurnLater(client);
            break;
        }
        if (m_currentPeer != client.peer)
            m_currentPeer = client.peer;
        if (!m_instrument.step(*client.running, client.state))
            endMessage(client);
    }
    return false;
}

void ScpiServer::endTurn(Client &client, std::size_t waiting, bool idle)
{
    // What ran is let go; an unfinished line moves to the front.
    client.input.erase(0, client.start);
    client.scanned -= client.start;
    client.start = 0;
    // What ran may have switched the watchdog on or off, or shortened its delay.
    scheduleWatchdog();
    if (idle && client.peerClosed) {
        // The messages that came before the end have run; their answers have no one to go to.
        drop(client);
        return;
    }
    if (client.unsent.size() > waiting && !flush(client))
        return;
    // A client is read again once its turn comes, and not while its backlog is full.
    client.readable->setEnabled(readWanted(client));
}

void ScpiServer::serve(Client &client)
{
    if (client.ended)
        return;
    if (m_held) {
        hearHeld(client);
        return;
    }
    const std::size_t waiting = client.unsent.size(); // answers already queued before this turn
    const bool idle = runTurn(client);
    endTurn(client, waiting, idle);
}

void ScpiServer::armWatchdog(int seconds)
{
    m_instrument.watchdog().arm(seconds, std::chrono::steady_clock::now());
    scheduleWatchdog();
}

void ScpiServer::scheduleWatchdog()
{
    const auto due = m_instrument.watchdog().due();
    if (!due) {
        m_watchdogTimer.stop();
        return;
    }
    // Fed since it was set, the timer wakes before the due time and sets itself again: one
    // timer event a delay, however many messages come.
    if (!m_watchdogTimer.isActive() || *due < m_wakeAt)
        wakeAt(*due);
}

void ScpiServer::wakeAt(std::chrono::steady_clock::time_point at)
{
    using std::chrono::milliseconds;
    const milliseconds left =
        std::chrono::ceil<milliseconds>(at - std::chrono::steady_clock::now());
    m_wakeAt = at;
    m_watchdogTimer.start(std::max(left, milliseconds(0)));
}

void ScpiServer::checkWatchdog()
{
    const auto due = m_instrument.watchdog().due();
    if (!due)
        return;
    // Never before its time, whatever the timer's own rounding.
    if (std::chrono::steady_clock::now() < *due) {
        wakeAt(*due);
        return;
    }
    tripWatchdog();
}

void ScpiServer::tripWatchdog()
{
    // The frame first: nothing is told before it went out, or did not. It is no client's.
    const std::string peer = std::exchange(m_currentPeer, std::string());
    const scpi::ScpiError told = m_instrument.tripWatchdog();
    m_currentPeer = peer;
    for (const auto &client : m_clients) {
        if (!client->ended)
            scpi::Instrument::tellTrip(client->state, told);
    }
    if (m_tripObserver)
        m_tripObserver(told.text.substr(told.text.find(';') + 1));
    // One that could not switch the input off tries again a delay later.
    scheduleWatchdog();
}

bool ScpiServer::flush(Client &client)
{
    while (client.sent < client.unsent.size()) {
        std::size_t n = 0;
        const ClientSocket::Io io = client.socket->send(client.unsent.data() + client.sent,
                                                        client.unsent.size() - client.sent, n);
        if (io == ClientSocket::Io::Done) {
            client.sent += n;
            continue;
        }
        if (io == ClientSocket::Io::WouldBlock)
            break;
        if (io == ClientSocket::Io::Failed)
            print(client.peer + " " + client.socket->errorText());
        drop(client);
        return false;
    }
    if (client.sent == client.unsent.size()) {
        client.unsent.clear();
        client.sent = 0;
    } else if (client.sent >= 64 * 1024) {
        client.unsent.erase(0, client.sent);
        client.sent = 0;
    }
    client.writable->setEnabled(!client.unsent.empty());
    return true;
}

void ScpiServer::drop(Client &client)
{
    if (client.ended)
        return;
    // The load stays as the client left it, as an instrument's would.
    client.ended = true;
    client.readable->setEnabled(false);
    client.writable->setEnabled(false);
    print(client.peer + " disconnected");
    clientsChanged();
    // Not here: this may run inside one of the client's notifiers.
    QMetaObject::invokeMethod(
        this,
        [this, raw = &client] {
            const auto it = std::find_if(m_clients.begin(), m_clients.end(),
                                         [&](const auto &c) { return c.get() == raw; });
            if (it != m_clients.end())
                m_clients.erase(it);
        },
        Qt::QueuedConnection);
}

} // namespace rz417::scpinet
