#include "cli/ScpiServer.h"

#include "cli/FrameLine.h"

#include <QTcpSocket>

#include <algorithm>
#include <chrono>

namespace rz417::cli {

namespace {

// Bounds on what one client may make the server hold: what Qt reads ahead of us, and the
// answers it has not read yet. Past the second its input waits in its own socket.
constexpr qint64 kReadAhead = 64 * 1024;
constexpr qint64 kMaxBacklog = 256 * 1024;

std::string now()
{
    return clockText(std::chrono::system_clock::now());
}

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
    : QObject(parent), m_instrument(instrument), m_currentPeer(currentPeer), m_print(print)
{
    connect(&m_server, &QTcpServer::newConnection, this, &ScpiServer::accept);
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
    if (m_server.listen(address, port))
        return true;
    why = m_server.errorString().toStdString();
    return false;
}

void ScpiServer::print(const std::string &text) const
{
    if (!m_print)
        return;
    std::fputs((now() + " " + text + "\n").c_str(), m_print);
    std::fflush(m_print);
}

void ScpiServer::accept()
{
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
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
            continue;
        }
        auto client = std::make_unique<Client>();
        client->socket = socket;
        client->peer = peer;
        socket->setParent(this);
        // Answers go out at once instead of waiting to be joined by Nagle's algorithm.
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        socket->setReadBufferSize(kReadAhead);
        Client *raw = client.get();
        connect(socket, &QTcpSocket::readyRead, this, [this, raw] { serve(*raw); });
        // A client that reads its answers again lets the server read its messages again.
        connect(socket, &QTcpSocket::bytesWritten, this, [this, raw] {
            if (raw->socket->bytesToWrite() < kMaxBacklog / 2)
                serve(*raw);
        });
        connect(
            socket, &QTcpSocket::disconnected, this, [this, raw] { drop(*raw); },
            Qt::QueuedConnection);
        m_clients.push_back(std::move(client));
        print(peer + " connected");
        serve(*raw); // what arrived with the connection
    }
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
