#pragma once

#include <cstddef>
#include <deque>
#include <string>

namespace rz417::scpi {

// One entry of the error queue: -222 and "Data out of range;CV takes 0 to 63.00 V".
struct ScpiError
{
    int code = 0;
    std::string text;
};

// A connection's error queue: the oldest error first. Once it holds its 16 entries the newest is
// replaced by -350 "Queue overflow" and further errors are lost, as IEEE 488.2 has it.
class ErrorQueue
{
public:
    static constexpr std::size_t kCapacity = 16;

    void push(ScpiError error);
    // The oldest entry, removed; 0,"No error" when empty.
    ScpiError pop();
    std::size_t size() const { return m_entries.size(); }
    void clear() { m_entries.clear(); }

private:
    std::deque<ScpiError> m_entries;
};

// The answer SYSTem:ERRor? gives for an entry: -222,"Data out of range;...".
std::string errorResponse(const ScpiError &error);

} // namespace rz417::scpi
