#include "scpi/ErrorQueue.h"

namespace rz417::scpi {

void ErrorQueue::push(ScpiError error)
{
    if (m_entries.size() >= kCapacity) {
        m_entries.back() = {-350, "Queue overflow"};
        return;
    }
    m_entries.push_back(std::move(error));
}

ScpiError ErrorQueue::pop()
{
    if (m_entries.empty())
        return {0, "No error"};
    ScpiError front = std::move(m_entries.front());
    m_entries.pop_front();
    return front;
}

std::string errorResponse(const ScpiError &error)
{
    // A string response doubles its quotes.
    std::string text = std::to_string(error.code) + ",\"";
    for (const char c : error.text) {
        if (c == '"')
            text += '"';
        text += c;
    }
    return text + "\"";
}

} // namespace rz417::scpi
