#include "scpinet/Advertiser.h"

#include "protocol/Identity.h"

#include <QHostInfo>
#include <QNetworkInterface>

namespace rz417::scpinet {

std::string serviceName()
{
    std::string host = QHostInfo::localHostName().toStdString();
    if (const auto dot = host.find('.'); dot != std::string::npos)
        host.resize(dot);
    return std::string(identity::kProduct) + (host.empty() ? "" : " on " + host);
}

std::vector<std::pair<std::string, std::string>> serviceText()
{
    // The RZ-417 reports no serial number; *IDN? says 0.
    return {{"Manufacturer", identity::kCompany},
            {"Model", identity::kProduct},
            {"SerialNumber", "0"},
            {"FirmwareVersion", identity::kVersion}};
}

unsigned interfaceOf(const QHostAddress &address)
{
    if (address == QHostAddress::AnyIPv4 || address == QHostAddress::AnyIPv6 ||
        address == QHostAddress::Any)
        return 0;
    for (const QNetworkInterface &interface : QNetworkInterface::allInterfaces()) {
        for (const QNetworkAddressEntry &entry : interface.addressEntries()) {
            if (entry.ip().isEqual(address))
                return static_cast<unsigned>(interface.index());
        }
    }
    return 0;
}

} // namespace rz417::scpinet
