#include "scpinet/ClientSocket.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

namespace rz417::scpinet {

namespace {

int fd(qintptr descriptor)
{
    return static_cast<int>(descriptor);
}

} // namespace

ClientSocket::ClientSocket(qintptr descriptor) : m_descriptor(descriptor)
{
    const int flags = ::fcntl(fd(descriptor), F_GETFL);
    if (flags >= 0 && !(flags & O_NONBLOCK))
        ::fcntl(fd(descriptor), F_SETFL, flags | O_NONBLOCK);
}

ClientSocket::~ClientSocket()
{
    ::close(fd(m_descriptor));
}

ClientSocket::Io ClientSocket::receive(char *data, std::size_t size, std::size_t &count)
{
    for (;;) {
        const ssize_t n = ::recv(fd(m_descriptor), data, size, 0);
        if (n > 0) {
            count = static_cast<std::size_t>(n);
            return Io::Done;
        }
        if (n == 0)
            return Io::Closed;
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return Io::WouldBlock;
        m_error = std::strerror(errno);
        return Io::Failed;
    }
}

ClientSocket::Io ClientSocket::send(const char *data, std::size_t size, std::size_t &count)
{
    for (;;) {
        // A client gone away is an error here, not a SIGPIPE that ends the server.
        const ssize_t n = ::send(fd(m_descriptor), data, size, MSG_NOSIGNAL);
        if (n >= 0) {
            count = static_cast<std::size_t>(n);
            return n > 0 ? Io::Done : Io::WouldBlock;
        }
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return Io::WouldBlock;
        if (errno == EPIPE || errno == ECONNRESET)
            return Io::Closed;
        m_error = std::strerror(errno);
        return Io::Failed;
    }
}

std::string ClientSocket::peer() const
{
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (::getpeername(fd(m_descriptor), reinterpret_cast<sockaddr *>(&address), &length) != 0)
        return {};
    return addressText(reinterpret_cast<const sockaddr *>(&address));
}

void ClientSocket::setLowDelay()
{
    const int on = 1;
    ::setsockopt(fd(m_descriptor), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

} // namespace rz417::scpinet
