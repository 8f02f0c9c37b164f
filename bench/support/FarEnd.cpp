#include "support/FarEnd.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <stdexcept>
#include <termios.h>
#include <unistd.h>

namespace rz417::bench {

FarEnd::FarEnd()
{
    char name[256] = {};
    if (::openpty(&m_master, &m_slave, name, nullptr, nullptr) != 0)
        throw std::runtime_error("openpty failed");
    m_slavePath = name;
    ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
    // A panel started as a child process must not inherit either side.
    ::fcntl(m_master, F_SETFD, FD_CLOEXEC);
    ::fcntl(m_slave, F_SETFD, FD_CLOEXEC);
}

FarEnd::~FarEnd()
{
    if (m_slave >= 0) {
        ::tcflow(m_slave, TCOON);
        ::close(m_slave);
    }
    if (m_master >= 0)
        ::close(m_master);
}

std::string FarEnd::readNow()
{
    std::string data;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(m_master, buffer, sizeof buffer);
        if (n <= 0)
            break;
        data.append(buffer, static_cast<std::size_t>(n));
    }
    return data;
}

std::string FarEnd::read(std::size_t n, std::chrono::milliseconds timeout,
                         Clock::time_point *lastByteAt)
{
    std::string data;
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        data += readNow();
        if (data.size() >= n) {
            if (lastByteAt)
                *lastByteAt = Clock::now();
            break;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() < 0)
            break;
        pollfd p{m_master, POLLIN, 0};
        ::poll(&p, 1, static_cast<int>(left.count()) + 1);
    }
    return data;
}

void FarEnd::stall(bool stalled)
{
    ::tcflow(m_slave, stalled ? TCOOFF : TCOON);
}

} // namespace rz417::bench
