#include "window/RemoteControl.h"

#include "scpi/ServerOptions.h"
#include "scpinet/ListenAddress.h"

namespace rz417 {

RemoteControl::RemoteControl(FrontPanel &panel)
    : m_panel(panel), m_load(panel, m_client), m_instrument(m_load)
{
}

RemoteControl::~RemoteControl() = default;

bool RemoteControl::start(const std::string &listen, int watchdog, std::string &why)
{
    std::string address;
    uint16_t port = 0;
    why = scpi::parseListen(listen, address, port, "the address");
    if (!why.empty())
        return false;
    std::string where;
    const auto host = scpinet::listenHost(address, where);
    if (!host) {
        why = "'" + address + "' is not an IP address this machine takes";
        return false;
    }
    auto server = std::make_unique<scpinet::ScpiServer>(m_instrument, m_client,
                                                        scpinet::ScpiServer::Printer{});
    std::string error;
    if (!server->listen(*host, port, error)) {
        why = "cannot listen on " + where + ":" + std::to_string(port) + ": " + error;
        return false;
    }
    stop();
    // The last client's going takes the panel back to local; the load stays as it is.
    server->setClientsObserver([this](int clients) {
        if (clients == 0)
            m_panel.clientsGone();
    });
    server->setHeld(m_holds > 0);
    if (watchdog > 0)
        server->armWatchdog(watchdog);
    else
        m_instrument.watchdog().setOn(false);
    m_where = where + ":" + std::to_string(server->port());
    m_server = std::move(server);
    return true;
}

void RemoteControl::stop()
{
    m_server.reset();
    m_where.clear();
    m_panel.clientsGone();
}

void RemoteControl::hold(bool open)
{
    m_holds += open ? 1 : -1;
    if (m_server)
        m_server->setHeld(m_holds > 0);
}

} // namespace rz417
