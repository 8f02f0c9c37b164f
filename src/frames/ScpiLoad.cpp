#include "frames/ScpiLoad.h"

#include "link/CommErrorText.h"
#include "protocol/Frame.h"
#include "protocol/Modes.h"
#include "scpi/Watchdog.h"

namespace rz417 {

namespace {

std::string
sendFrom(FramePath &path, const std::string &frame, const std::string &meaning,
         const std::string &client,
         const std::function<void(const std::string &, const FramePath::Result &)> &observer)
{
    const FramePath::Result result = path.send(frame, meaning, FrameSource{"scpi", 0, 0, client});
    if (observer)
        observer(frame, result);
    return result.failure ? commErrorText(result.failure->code()) : std::string();
}

} // namespace

std::string ScpiLoad::send(const std::string &frame, const std::string &meaning)
{
    return sendFrom(m_path, frame, meaning, m_client, m_observer);
}

std::string ScpiLoad::watchdogOff(const std::string &why)
{
    return sendFrom(m_path, inputFrame(false), scpi::Watchdog::offMeaning(why), {}, m_observer);
}

std::optional<int32_t> ScpiLoad::sent(int16_t mode) const
{
    if (!isMode(mode))
        return std::nullopt;
    return m_path.load().sent[static_cast<std::size_t>(mode - 1)];
}

} // namespace rz417
