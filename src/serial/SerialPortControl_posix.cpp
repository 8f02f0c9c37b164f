#include "serial/SerialPortControl.h"

#include <cerrno>
#include <cstring>

#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace rz417 {

bool SerialPortControl::drainLine()
{
    if (!m_port.isOpen())
        return true;
    // Whatever Qt still holds goes to the device first; after a completed write that is nothing.
    if (m_port.bytesToWrite() > 0 &&
        !m_port.waitForBytesWritten(static_cast<int>(m_writeTimeout.count())))
        return false;
    const int fd = static_cast<int>(m_port.handle());
    while (::tcdrain(fd) != 0) {
        if (errno != EINTR)
            return false;
    }
    return true;
}

ByteLine::Outcome SerialPortControl::put(std::string_view data, LineTime deadline,
                                         std::size_t &accepted, std::string &why)
{
    // QSerialPort keeps the descriptor non-blocking.
    const int fd = static_cast<int>(m_port.handle());
    while (accepted < data.size()) {
        const ssize_t n = ::write(fd, data.data() + accepted, data.size() - accepted);
        if (n > 0) {
            accepted += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            why = std::strerror(errno);
            markLost();
            return Outcome::Lost;
        }
        // The driver is full: wait for room, until the deadline.
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return Outcome::Stalled;
        pollfd watched{fd, POLLOUT, 0};
        const int ready = ::poll(&watched, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno != EINTR) {
            why = std::strerror(errno);
            markLost();
            return Outcome::Lost;
        }
        if (ready > 0 && (watched.revents & (POLLERR | POLLNVAL)) != 0) {
            why = "the device reported an error";
            markLost();
            return Outcome::Lost;
        }
    }
    return Outcome::Whole;
}

} // namespace rz417
