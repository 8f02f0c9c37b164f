#pragma once

#include <chrono>
#include <cstdint>

namespace rz417 {

// Tells a key held down from a key pressed again, for the keys that must act once however long
// they are held (Output, Escape, the modes). The X server repeats a held key as a release and a
// press of the same time, and a busy toolkit may read the two apart and report both as real; no
// hand lifts a key and presses it again within one repeat interval.
class KeyRepeat
{
public:
    explicit KeyRepeat(std::chrono::milliseconds interval) : m_interval(interval) {}

    // A key was released at the window system's time, in milliseconds (0: not known).
    void released(int key, uint64_t at)
    {
        m_key = key;
        m_at = at;
    }
    // Whether a press the toolkit reports as real is that key still held.
    bool repeats(int key, uint64_t at) const
    {
        return m_at != 0 && key == m_key && at >= m_at &&
               at - m_at <= static_cast<uint64_t>(m_interval.count());
    }

private:
    std::chrono::milliseconds m_interval;
    int m_key = 0;
    uint64_t m_at = 0;
};

} // namespace rz417
