#pragma once

#include "frames/FramePath.h"
#include "scpi/Load.h"

#include <functional>
#include <string>

namespace rz417 {

// The frame path as the load SCPI commands drive: each frame goes out with the source "scpi" and
// the address of the client whose message runs, and the queries answer from the path's record.
class ScpiLoad : public scpi::Load
{
public:
    // client: the address of the client whose message runs, as the server keeps it.
    ScpiLoad(FramePath &path, const std::string &client) : m_path(path), m_client(client) {}

    // Told of every frame's result, with the frame and its meaning.
    void setObserver(std::function<void(const std::string &, const FramePath::Result &)> observer)
    {
        m_observer = std::move(observer);
    }

    std::string send(const std::string &frame, const std::string &meaning) override;
    std::optional<int32_t> sent(int16_t mode) const override;
    int16_t mode() const override { return m_path.load().mode; }
    bool inputMayBeOn() const override { return m_path.load().inputMayBeOn; }
    uint32_t inputOnFrames() const override { return m_path.load().inputOnFrames; }
    std::string watchdogOff(const std::string &why) override;

private:
    FramePath &m_path;
    const std::string &m_client;
    std::function<void(const std::string &, const FramePath::Result &)> m_observer;
};

} // namespace rz417
