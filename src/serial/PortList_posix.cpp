#include "serial/PortList.h"

#include "serial/PortRefusal.h"

#include <QFile>
#include <QFileInfo>
#include <QSerialPortInfo>

#include <map>

#include <unistd.h>

namespace rz417 {

namespace {

// Description, maker and serial number of the devices the system lists, by path.
std::map<std::string, std::string> deviceDescriptions()
{
    std::map<std::string, std::string> descriptions;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts()) {
        QStringList parts;
        if (!info.description().isEmpty())
            parts << info.description();
        if (!info.manufacturer().isEmpty())
            parts << info.manufacturer();
        if (!info.serialNumber().isEmpty())
            parts << QStringLiteral("serial ") + info.serialNumber();
        descriptions[QFile::encodeName(info.systemLocation()).toStdString()] =
            parts.join(QStringLiteral(", ")).toStdString();
    }
    return descriptions;
}

std::string state(const std::string &path)
{
    const QString device = QFile::decodeName(QByteArray::fromStdString(path));
    if (!QFileInfo::exists(device))
        return "no such device";
    if (const auto holder = lockHolder(device))
        return "in use by another program (process " + std::to_string(*holder) + ")";
    if (::access(path.c_str(), R_OK | W_OK) != 0)
        return "not permitted";
    return "free";
}

} // namespace

std::string portListText(const PortMap &ports)
{
    const auto descriptions = deviceDescriptions();
    std::string text;
    for (std::size_t n = 1; n <= ports.size(); ++n) {
        const std::string path = ports.path(static_cast<int>(n));
        std::string line = std::to_string(n) + "  ";
        if (path.empty()) {
            text += line + "-  no device\n";
            continue;
        }
        line += path + "  ";
        const auto known = descriptions.find(path);
        if (known != descriptions.end() && !known->second.empty())
            line += known->second + "  ";
        text += line + state(path) + "\n";
    }
    if (text.empty())
        text = "no serial ports found\n";
    return text;
}

} // namespace rz417
