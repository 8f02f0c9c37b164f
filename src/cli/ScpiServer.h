#pragma once

#include "scpi/Instrument.h"

#include <QHostAddress>
#include <QObject>
#include <QTcpServer>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace rz417::cli {

// SCPI over a raw TCP socket, the way LAN instruments take it on port 5025: one program message
// per line, the answers in one line. Every client has its own error queue and status; all of
// them drive the one load, their messages run in the order they arrive.
class ScpiServer : public QObject
{
    Q_OBJECT

public:
    static constexpr std::size_t kMaxLine = 64 * 1024;
    static constexpr int kMaxClients = 64;

    // currentPeer: set to "address:port" of the client whose message runs, for the frames' lines.
    // print: where -v lines go, or nothing.
    ScpiServer(scpi::Instrument &instrument, std::string &currentPeer, std::FILE *print,
               QObject *parent = nullptr);
    ~ScpiServer() override;

    // False with the reason when the address cannot be listened on.
    bool listen(const QHostAddress &address, uint16_t port, std::string &why);
    uint16_t port() const { return m_server->serverPort(); }

private:
    struct Client;
    void accept(qintptr descriptor);
    void serve(Client &client);
    void take(Client &client, const char *data, std::size_t size);
    bool flush(Client &client); // false when the client is gone
    void drop(Client &client);
    void print(const std::string &text) const;

    scpi::Instrument &m_instrument;
    std::string &m_currentPeer;
    std::FILE *m_print;
    std::unique_ptr<QTcpServer> m_server;
    std::vector<std::unique_ptr<Client>> m_clients;
};

// A client's text made safe for one terminal line: control and non-ASCII bytes as \xNN, cut
// after limit characters with "...".
std::string printableLine(const std::string &text, std::size_t limit);

} // namespace rz417::cli
