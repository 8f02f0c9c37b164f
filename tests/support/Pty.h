#pragma once

#include <chrono>
#include <string>
#include <termios.h>

namespace rz417::test {

// The far end of a serial line: a pseudo-terminal whose slave path the panel opens and whose
// master side the test reads.
class Pty
{
public:
    Pty();
    ~Pty();
    Pty(const Pty &) = delete;
    Pty &operator=(const Pty &) = delete;

    const std::string &slavePath() const { return m_slavePath; }
    int masterFd() const { return m_master; }

    // Whatever is readable now, without waiting.
    std::string readNow();
    // Reads until n bytes arrived or the timeout passed.
    std::string readBytes(std::size_t n, std::chrono::milliseconds timeout);
    // Writes as much as the line takes without blocking; returns the count.
    std::size_t writeSome(const std::string &data);

    // The line settings the slave side was given.
    termios settings() const;

    // The far end goes away: the slave side sees a hang-up.
    void close();

private:
    int m_master = -1;
    std::string m_slavePath;
};

// CPU time this process has used so far.
std::chrono::microseconds processCpuTime();

// Resident memory of this process, in KiB.
long residentKiB();

} // namespace rz417::test
