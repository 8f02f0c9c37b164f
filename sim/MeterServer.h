#pragma once

#include <functional>
#include <string>
#include <vector>

#include <poll.h>

namespace rz417::sim {

// A bench meter across the load's terminals, on a raw SCPI socket as LAN meters offer it: it
// answers *IDN? and MEAS:VOLT:DC? (or MEAS:VOLT?) with the terminal voltage, one line each.
class MeterServer
{
public:
    MeterServer() = default;
    ~MeterServer();
    MeterServer(const MeterServer &) = delete;
    MeterServer &operator=(const MeterServer &) = delete;

    // [ADDRESS:]PORT, an IPv4 address (127.0.0.1 when left out); port 0 takes a free one.
    bool listen(const std::string &where, std::string &error);
    // "127.0.0.1:5025", once listening.
    const std::string &where() const { return m_where; }

    // Its sockets, to be polled beside the line.
    void addTo(std::vector<pollfd> &fds) const;
    // Serves what poll found on them; volts() reads the terminals.
    void serve(const std::vector<pollfd> &fds, const std::function<double()> &volts);

private:
    struct Client
    {
        int fd;
        std::string input;
    };
    void answer(Client &client, const std::function<double()> &volts);

    int m_listener = -1;
    std::string m_where;
    std::vector<Client> m_clients;
};

} // namespace rz417::sim
