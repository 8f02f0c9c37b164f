#include "link/SerialPortControl.h"

#include <cerrno>

#include <termios.h>

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

} // namespace rz417
