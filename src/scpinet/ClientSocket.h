#pragma once

#include <QtGlobal>

#include <cstddef>
#include <string>

struct sockaddr;

namespace rz417::scpinet {

// One accepted TCP connection, read and written straight through the system's calls, so that a
// query costs one wake-up, one read and one write, as it does in a bare event loop. Qt's own
// socket asks the size of what is waiting before each read and queues its writes. The calls are
// the platform's (ClientSocket_posix.cpp, ClientSocket_windows.cpp); the descriptor must be in
// non-blocking mode or is put into it.
class ClientSocket
{
public:
    enum class Io { Done, WouldBlock, Closed, Failed };

    explicit ClientSocket(qintptr descriptor);
    ~ClientSocket();
    ClientSocket(const ClientSocket &) = delete;
    ClientSocket &operator=(const ClientSocket &) = delete;

    // Without waiting: on Done, count is what was read or written (at least one byte).
    // Closed: the peer ended the connection. Failed: errorText() says why.
    Io receive(char *data, std::size_t size, std::size_t &count);
    Io send(const char *data, std::size_t size, std::size_t &count);

    // "address:port" of the far end, an IPv6 address in brackets; empty when it is not known.
    std::string peer() const;
    // Answers go out at once instead of waiting to be joined by Nagle's algorithm.
    void setLowDelay();
    const std::string &errorText() const { return m_error; }

private:
    // "address:port" of an IPv4 or IPv6 socket address; the same on every platform.
    static std::string addressText(const sockaddr *address);

    qintptr m_descriptor;
    std::string m_error;
};

} // namespace rz417::scpinet
