#pragma once

#include <QHostAddress>

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace rz417::scpinet {

// A SCPI server made known on the network, as LAN instruments are: a _scpi-raw._tcp service
// through the system's mDNS responder, with the identity in its TXT records, for as long as the
// advertiser lives (Avahi on Linux, DnsServiceRegister on Windows).
class Advertiser
{
public:
    virtual ~Advertiser() = default;

    // Advertises port on the interface of address, or on every one for 0.0.0.0 and ::. Nothing,
    // with why, when the system has no responder to take it.
    static std::unique_ptr<Advertiser> start(const QHostAddress &address, uint16_t port,
                                             std::string &why);
};

constexpr const char *kServiceType = "_scpi-raw._tcp";

// "RZ-417 on lab-pc": the model and this machine's name.
std::string serviceName();
// Manufacturer, Model, SerialNumber and FirmwareVersion, as *IDN? answers them.
std::vector<std::pair<std::string, std::string>> serviceText();
// The system's index of the interface that holds address; 0 for every interface.
unsigned interfaceOf(const QHostAddress &address);

} // namespace rz417::scpinet
