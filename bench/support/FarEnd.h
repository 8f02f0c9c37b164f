#pragma once

#include <chrono>
#include <string>

namespace rz417::bench {

using Clock = std::chrono::steady_clock;

// The far end of a serial line: a pseudo-terminal whose slave path the panel opens and whose
// master side the bench reads. The slave stays open here too, so that the bench can stop the
// line's output the way a stuck adapter would.
class FarEnd
{
public:
    FarEnd();
    ~FarEnd();
    FarEnd(const FarEnd &) = delete;
    FarEnd &operator=(const FarEnd &) = delete;

    const std::string &slavePath() const { return m_slavePath; }
    int masterFd() const { return m_master; }

    // Reads until n bytes arrived or the timeout passed; lastByteAt is when the read that
    // completed them returned.
    std::string read(std::size_t n, std::chrono::milliseconds timeout,
                     Clock::time_point *lastByteAt = nullptr);
    // Whatever is readable now, without waiting.
    std::string readNow();

    // Stops or resumes the line's output: writes to the slave then block, as on a line that
    // flow control holds.
    void stall(bool stalled);

private:
    int m_master = -1;
    int m_slave = -1;
    std::string m_slavePath;
};

} // namespace rz417::bench
