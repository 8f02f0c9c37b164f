#include "panel/PanelLoad.h"

namespace rz417 {

std::optional<int32_t> PanelLoad::sent(int16_t mode) const
{
    if (!isMode(mode))
        return std::nullopt;
    return m_panel.load().sent[static_cast<std::size_t>(mode - 1)];
}

std::string PanelLoad::settingsConflict() const
{
    if (m_panel.runActive())
        return std::string(m_panel.run()->what()) +
               " runs on the panel; stop it there, or wait for its end";
    return {};
}

} // namespace rz417
