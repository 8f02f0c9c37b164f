#include "support/Pty.h"

#include <cerrno>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <pty.h>
#include <stdexcept>
#include <time.h>
#include <unistd.h>

namespace rz417::test {

Pty::Pty()
{
    int slave = -1;
    char name[256] = {};
    if (::openpty(&m_master, &slave, name, nullptr, nullptr) != 0)
        throw std::runtime_error("openpty failed");
    m_slavePath = name;
    // Only the panel keeps the slave open, so that its closing shows on the master side.
    ::close(slave);
    ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
    ::fcntl(m_master, F_SETFD, FD_CLOEXEC);
}

Pty::~Pty()
{
    close();
}

void Pty::close()
{
    if (m_master >= 0)
        ::close(m_master);
    m_master = -1;
}

std::string Pty::readNow()
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

std::string Pty::readBytes(std::size_t n, std::chrono::milliseconds timeout)
{
    std::string data;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (data.size() < n) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            break;
        pollfd p{m_master, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left.count())) <= 0)
            continue;
        data += readNow();
    }
    return data;
}

std::size_t Pty::writeSome(const std::string &data)
{
    const ssize_t n = ::write(m_master, data.data(), data.size());
    return n > 0 ? static_cast<std::size_t>(n) : 0;
}

termios Pty::settings() const
{
    termios t{};
    ::tcgetattr(m_master, &t);
    return t;
}

std::chrono::microseconds processCpuTime()
{
    timespec ts{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return std::chrono::seconds(ts.tv_sec) +
           std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::nanoseconds(ts.tv_nsec));
}

long residentKiB()
{
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key) {
        if (key == "VmRSS:") {
            long kib = 0;
            status >> kib;
            return kib;
        }
        std::getline(status, key);
    }
    return 0;
}

} // namespace rz417::test
