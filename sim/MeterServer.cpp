#include "MeterServer.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace rz417::sim {

MeterServer::~MeterServer()
{
    for (const Client &client : m_clients)
        ::close(client.fd);
    if (m_listener >= 0)
        ::close(m_listener);
}

bool MeterServer::listen(const std::string &where, std::string &error)
{
    const auto colon = where.rfind(':');
    const std::string host = colon == std::string::npos ? "127.0.0.1" : where.substr(0, colon);
    const std::string portText = colon == std::string::npos ? where : where.substr(colon + 1);
    char *end = nullptr;
    const long port = std::strtol(portText.c_str(), &end, 10);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    if (portText.empty() || *end != '\0' || port < 0 || port > 65535 ||
        ::inet_pton(AF_INET, host.c_str(), &address.sin_addr) != 1) {
        error = "--meter wants [ADDRESS:]PORT with an IPv4 address and a port from 0 to 65535, "
                "not '" +
                where + "'";
        return false;
    }
    m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    const int on = 1;
    ::setsockopt(m_listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    socklen_t size = sizeof address;
    if (m_listener < 0 ||
        ::bind(m_listener, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
        ::listen(m_listener, 8) != 0 ||
        ::getsockname(m_listener, reinterpret_cast<sockaddr *>(&address), &size) != 0) {
        error = "the meter cannot listen on " + where + ": " + std::strerror(errno);
        return false;
    }
    m_where = host + ":" + std::to_string(ntohs(address.sin_port));
    return true;
}

void MeterServer::addTo(std::vector<pollfd> &fds) const
{
    if (m_listener >= 0)
        fds.push_back({m_listener, POLLIN, 0});
    for (const Client &client : m_clients)
        fds.push_back({client.fd, POLLIN, 0});
}

void MeterServer::serve(const std::vector<pollfd> &fds, const std::function<double()> &volts)
{
    for (const pollfd &fd : fds) {
        if (fd.revents == 0)
            continue;
        if (fd.fd == m_listener) {
            const int client = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (client >= 0)
                m_clients.push_back({client, {}});
            continue;
        }
        const auto it = std::find_if(m_clients.begin(), m_clients.end(),
                                     [&](const Client &c) { return c.fd == fd.fd; });
        if (it == m_clients.end())
            continue;
        char buffer[1024];
        const ssize_t n = ::read(it->fd, buffer, sizeof buffer);
        if (n <= 0) {
            ::close(it->fd);
            m_clients.erase(it);
            continue;
        }
        it->input.append(buffer, static_cast<std::size_t>(n));
        answer(*it, volts);
    }
}

void MeterServer::answer(Client &client, const std::function<double()> &volts)
{
    std::size_t end;
    while ((end = client.input.find('\n')) != std::string::npos) {
        std::string query = client.input.substr(0, end);
        client.input.erase(0, end + 1);
        std::string upper;
        for (const char c : query) {
            if (c != '\r' && c != ' ')
                upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        }
        std::string reply;
        if (upper == "*IDN?") {
            reply = "RZ417-SIM,METER,0,1.00\n";
        } else if (upper == "MEAS:VOLT:DC?" || upper == "MEAS:VOLT?" ||
                   upper == "MEASURE:VOLTAGE:DC?") {
            char text[32];
            std::snprintf(text, sizeof text, "%+.8E\n", volts());
            reply = text;
        }
        if (!reply.empty() && ::send(client.fd, reply.data(), reply.size(), MSG_NOSIGNAL) < 0)
            return;
    }
    // A line without an end that never ends is no query.
    if (client.input.size() > 4096)
        client.input.clear();
}

} // namespace rz417::sim
