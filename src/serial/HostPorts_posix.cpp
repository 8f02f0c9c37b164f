#include "serial/HostPorts.h"

#include <QDir>
#include <QFile>
#include <QSerialPortInfo>
#include <QtGlobal>

namespace rz417 {

PortMap hostPortMap()
{
    if (qEnvironmentVariableIsSet("RZ417_PORTS")) {
        return PortMap::fromList(qgetenv("RZ417_PORTS").toStdString(),
                                 QFile::encodeName(QDir::currentPath()).toStdString());
    }
    std::vector<std::string> devices;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts())
        devices.push_back(QFile::encodeName(info.systemLocation()).toStdString());
    return PortMap::fromDevices(std::move(devices));
}

} // namespace rz417
