#include "frames/ScpiLoad.h"

#include "link/CommErrorText.h"
#include "protocol/Modes.h"

namespace rz417 {

std::string ScpiLoad::send(const std::string &frame, const std::string &meaning)
{
    const FramePath::Result result =
        m_path.send(frame, meaning, FrameSource{"scpi", 0, 0, m_client});
    if (m_observer)
        m_observer(frame, result);
    return result.failure ? commErrorText(result.failure->code()) : std::string();
}

std::optional<int32_t> ScpiLoad::sent(int16_t mode) const
{
    if (!isMode(mode))
        return std::nullopt;
    return m_path.load().sent[static_cast<std::size_t>(mode - 1)];
}

} // namespace rz417
