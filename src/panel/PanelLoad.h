#pragma once

#include "panel/FrontPanel.h"
#include "scpi/Load.h"
#include "scpi/Watchdog.h"

#include <string>

namespace rz417 {

// The panel as the load SCPI clients drive: their frames go out through the panel's own frame
// path and show on the panel, the queries answer from what the panel last sent, whoever sent
// it, and SYSTem:REMote, :RWLock and :LOCal move the panel between remote and local.
class PanelLoad : public scpi::Load
{
public:
    // client: the address of the client whose message runs, as the server keeps it.
    PanelLoad(FrontPanel &panel, const std::string &client) : m_panel(panel), m_client(client) {}

    std::string send(const std::string &frame, const std::string &meaning) override
    {
        return m_panel.sendRemote(frame, meaning, m_client);
    }
    std::optional<int32_t> sent(int16_t mode) const override;
    int16_t mode() const override { return m_panel.load().mode; }
    bool inputMayBeOn() const override { return m_panel.load().inputMayBeOn; }
    uint32_t inputOnFrames() const override { return m_panel.load().inputOnFrames; }
    std::string watchdogOff(const std::string &why) override
    {
        return m_panel.watchdogOff(scpi::Watchdog::offMeaning(why), why);
    }
    std::string settingsConflict() const override;
    void remote(scpi::RemoteRequest request) override { m_panel.remoteRequest(request); }

private:
    FrontPanel &m_panel;
    const std::string &m_client;
};

} // namespace rz417
