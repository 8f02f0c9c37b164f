#include "scpinet/ClientSocket.h"

#include <QString>

#include <winsock2.h>
#include <ws2tcpip.h>

#include <climits>

namespace rz417::scpinet {

namespace {

SOCKET handle(qintptr descriptor)
{
    return static_cast<SOCKET>(descriptor);
}

std::string describe(int code)
{
    wchar_t *text = nullptr;
    FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t *>(&text), 0, nullptr);
    std::string out = text ? QString::fromWCharArray(text).trimmed().toStdString()
                           : "Winsock error " + std::to_string(code);
    LocalFree(text);
    return out;
}

int chunk(std::size_t size)
{
    return size > static_cast<std::size_t>(INT_MAX) ? INT_MAX : static_cast<int>(size);
}

} // namespace

ClientSocket::ClientSocket(qintptr descriptor) : m_descriptor(descriptor)
{
    u_long on = 1;
    ioctlsocket(handle(descriptor), FIONBIO, &on);
}

ClientSocket::~ClientSocket()
{
    closesocket(handle(m_descriptor));
}

ClientSocket::Io ClientSocket::receive(char *data, std::size_t size, std::size_t &count)
{
    const int n = recv(handle(m_descriptor), data, chunk(size), 0);
    if (n > 0) {
        count = static_cast<std::size_t>(n);
        return Io::Done;
    }
    if (n == 0)
        return Io::Closed;
    const int code = WSAGetLastError();
    if (code == WSAEWOULDBLOCK)
        return Io::WouldBlock;
    if (code == WSAECONNRESET || code == WSAECONNABORTED)
        return Io::Closed;
    m_error = describe(code);
    return Io::Failed;
}

ClientSocket::Io ClientSocket::send(const char *data, std::size_t size, std::size_t &count)
{
    const int n = ::send(handle(m_descriptor), data, chunk(size), 0);
    if (n >= 0) {
        count = static_cast<std::size_t>(n);
        return n > 0 ? Io::Done : Io::WouldBlock;
    }
    const int code = WSAGetLastError();
    if (code == WSAEWOULDBLOCK)
        return Io::WouldBlock;
    if (code == WSAECONNRESET || code == WSAECONNABORTED || code == WSAESHUTDOWN)
        return Io::Closed;
    m_error = describe(code);
    return Io::Failed;
}

std::string ClientSocket::peer() const
{
    sockaddr_storage address{};
    int length = sizeof address;
    if (getpeername(handle(m_descriptor), reinterpret_cast<sockaddr *>(&address), &length) != 0)
        return {};
    return addressText(reinterpret_cast<const sockaddr *>(&address));
}

void ClientSocket::setLowDelay()
{
    const BOOL on = TRUE;
    setsockopt(handle(m_descriptor), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char *>(&on),
               sizeof on);
}

} // namespace rz417::scpinet
