#pragma once

#include "link/CommControl.h"
#include "panel/Platform.h"

#include <string>
#include <vector>

namespace rz417::bench {

// A user who answers every box at once: Yes to "Using it?", OK to everything else. Keeps the
// texts so that a run can tell which boxes it saw.
class InstantPlatform : public Platform
{
public:
    BoxAnswer messageBox(const std::string &text, BoxStyle style, const std::string &,
                         const std::string & = {}) override
    {
        boxes.push_back(text);
        return style == BoxStyle::YesNoQuestion ? BoxAnswer::Yes : BoxAnswer::Ok;
    }
    void endProgram() override { ended = true; }
    void diagnostic(const std::string &) override {}

    std::vector<std::string> boxes;
    bool ended = false;
};

// A serial control that accepts everything and sends nothing, so a handler's own cost shows.
class NullComm : public CommControl
{
public:
    void setCommPort(int16_t) override {}
    void setSettings(const std::string &) override {}
    void setPortOpen(bool) override {}
    void setOutput(const std::string &data) override { m_bytes += data.size(); }

    std::size_t bytes() const { return m_bytes; }

private:
    std::size_t m_bytes = 0;
};

} // namespace rz417::bench
