#pragma once

#include "panel/FrontPanel.h"
#include "panel/PanelLoad.h"
#include "scpi/Instrument.h"
#include "scpinet/ScpiServer.h"

#include <memory>
#include <string>

namespace rz417 {

// The panel as its load's remote interface: SCPI clients on a TCP socket, as rz417ctl serve
// takes them, driving the load through the panel. Their messages run between the panel's
// handlers: while a box or dialog of the panel is open (hold), they wait.
class RemoteControl
{
public:
    explicit RemoteControl(FrontPanel &panel);
    ~RemoteControl();

    // Listens on [ADDRESS:]TCPPORT, the watchdog armed with a delay of watchdog seconds (0: off);
    // false with what is wrong when it cannot.
    bool start(const std::string &listen, int watchdog, std::string &why);
    void stop();
    bool listening() const { return m_server != nullptr; }
    // Where it listens: "127.0.0.1:5025"; empty when it does not.
    const std::string &where() const { return m_where; }
    // How it is made known on the network, or why it is not; nothing on loopback.
    std::string advertising() const { return m_server ? m_server->advertising() : std::string(); }

    // Boxes and dialogs of the panel nest: the clients wait until the last one is closed.
    void hold(bool open);

private:
    FrontPanel &m_panel;
    std::string m_client; // the address of the client whose message runs
    PanelLoad m_load;
    scpi::Instrument m_instrument;
    std::unique_ptr<scpinet::ScpiServer> m_server;
    std::string m_where;
    int m_holds = 0;
};

} // namespace rz417
