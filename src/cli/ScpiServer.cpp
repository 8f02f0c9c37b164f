#include "cli/ScpiServer.h"

#include "cli/FrameLine.h"

#include <QTcpSocket>

#include <algorithm>
#include <chrono>
#include <functional>

namespace rz417::cli {

namespace {

// What one client's unread answers may hold in the server; past it, its messages wait in its own
// socket until it reads.
constexpr qint64 kMaxBacklog = 256 * 1024;

std::string now()
{
    return clockText(std::chrono::system_clock::now());
}

// Hands each connection over as its descriptor, so that its socket can be opened unbuffered:
// reads and writes then go straight to the system, without Qt's own buffers and the queued
// flushes that cost a turn of the event loop per answer.
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

} // namespace

struct ScpiServer::Client
{
    QTcpSocket *socket = nullptr;
    std::string peer;
    scpi::ClientState state;
    std::string input;     // what arrived and has not run; a message ends with a line feed
    std::size_t start = 0; // where the unfinished message begins in input
    std::size_t scanned = 0;
    bool discarding = false; // the rest of a line that was too long
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

ScpiServer::ScpiServer(scpi::Instrument &instrument, std::string &currentPeer, std::FILE *print,
                       QObject *parent)
    : QObject(parent), m_instrument(instrument), m_currentPeer(currentPeer), m_print(print),
      m_server(std::make_unique<Listener>([this](qintptr descriptor) { accept(descriptor); }))
{
}

ScpiServer::~ScpiServer()
{
    for (const auto &client : m_clients) {
        client->socket->disconnect(this);
        client->socket->abort();
    }
}

bool ScpiServer::listen(const QHostAddress &address, uint16_t port, std::string &why)
{
    if (m_server->listen(address, port))
        return true;
    why = m_server->errorString().toStdString();
    return false;
}

void ScpiServer::print(const std::string &text) const
{
    if (!m_print)
        return;
    std::fputs((now() + " " + text + "\n").c_str(), m_print);
    std::fflush(m_print);
}

void ScpiServer::accept(qintptr descriptor)
{
    auto *socket = new QTcpSocket(this);
    if (!socket->setSocketDescriptor(descriptor, QAbstractSocket::ConnectedState,
                                     QIODevice::ReadWrite | QIODevice::Unbuffered)) {
        std::fprintf(stderr, "rz417ctl: a connection could not be taken: %s\n",
                     socket->errorString().toLocal8Bit().constData());
        delete socket;
        return;
    }
    const QHostAddress address = socket->peerAddress();
    const std::string host = address.protocol() == QAbstractSocket::IPv6Protocol
                                 ? "[" + address.toString().toStdString() + "]"
                                 : address.toString().toStdString();
    const std::string peer = host + ":" + std::to_string(socket->peerPort());
    if (m_clients.size() >= static_cast<std::size_t>(kMaxClients)) {
        std::fprintf(stderr, "rz417ctl: refused %s: %d clients are connected already\n",
                     peer.c_str(), kMaxClients);
        socket->abort();
        socket->deleteLater();
        return;
    }
    auto client = std::make_unique<Client>();
    client->socket = socket;
    client->peer = peer;
    // Answers go out at once instead of waiting to be joined by Nagle's algorithm.
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    Client *raw = client.get();
    connect(socket, &QTcpSocket::readyRead, this, [this, raw] { serve(*raw); });
    // A client that reads its answers again lets the server read its messages again.
    connect(socket, &QTcpSocket::bytesWritten, this, [this, raw] {
        if (raw->socket->bytesToWrite() < kMaxBacklog / 2)
            serve(*raw);
    });
    connect(
        socket, &QTcpSocket::disconnected, this, [this, raw] { drop(*raw); }, Qt::QueuedConnection);
    m_clients.push_back(std::move(client));
    print(peer + " connected");
}

void ScpiServer::take(Client &client, const char *data, std::size_t size)
{
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
    scpi::reportError(client.state, -223,
                      "Too much data;a line longer than 65536 bytes was dropped: a program "
                      "message ends with a line feed within 64 KiB");
    print(client.peer + " < a line longer than 64 KiB, dropped");
}

void ScpiServer::serve(Client &client)
{
    QTcpSocket &socket = *client.socket;
    std::string answers;
    char buffer[16384];
    while (socket.bytesToWrite() + static_cast<qint64>(answers.size()) < kMaxBacklog) {
        const std::size_t end = client.input.find('\n', client.scanned);
        if (end == std::string::npos) {
            client.scanned = client.input.size();
            const qint64 n = socket.read(buffer, sizeof buffer);
            if (n <= 0)
                break;
            take(client, buffer, static_cast<std::size_t>(n));
            continue;
        }
        std::size_t length = end - client.start;
        if (length > 0 && client.input[end - 1] == '\r')
            --length; // CR LF
        const std::string_view message(client.input.data() + client.start, length);
        if (m_print)
            print(client.peer + " < " + printableLine(std::string(message), 200));
        m_currentPeer = client.peer;
        const scpi::Reply reply = m_instrument.execute(message, client.state);
        if (m_print && !reply.response.empty())
            print(client.peer + " > " +
                  printableLine(reply.response.substr(0, reply.response.size() - 1), 200));
        answers += reply.response;
        client.start = client.scanned = end + 1;
    }
    // What ran is let go; an unfinished message moves to the front.
    client.input.erase(0, client.start);
    client.scanned -= client.start;
    client.start = 0;
    if (!answers.empty()) {
        socket.write(answers.data(), static_cast<qint64>(answers.size()));
        socket.flush();
    }
}

void ScpiServer::drop(Client &client)
{
    // The load stays as the client left it, as an instrument's would.
    print(client.peer + " disconnected");
    client.socket->deleteLater();
    const auto it = std::find_if(m_clients.begin(), m_clients.end(),
                                 [&](const auto &c) { return c.get() == &client; });
    if (it != m_clients.end())
        m_clients.erase(it);
}

} // namespace rz417::cli
