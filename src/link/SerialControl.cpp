#include "link/SerialControl.h"

#include "link/CrashGuard.h"

namespace rz417 {

void SerialControl::setCommPort(int16_t port)
{
    if (m_portOpen)
        throw CommError(CommCodes::AlreadyOpen, "port number changed while the port is open");
    if (port < 1)
        throw CommError(CommCodes::BadId, "port number out of range");
    m_commPort = port;
}

void SerialControl::setSettings(const std::string &settings)
{
    const auto parsed = parseLineSettings(settings);
    if (!parsed)
        throw CommError(CommCodes::BadSettings, "settings refused: " + settings);
    m_settings = *parsed;
    m_writer.setSettings(m_settings);
    if (isDeviceOpen())
        applyNewSettings();
}

void SerialControl::setOutput(const std::string &data)
{
    if (data.empty())
        return;
    if (!m_portOpen)
        throw CommError(CommCodes::NotOpen, "port not open").markNothingSent();
    const crashguard::LineUse use(guardKey());
    if (!isDeviceOpen() && !reopenDevice())
        throw CommError(CommCodes::NotOpen, "device not open").markNothingSent();
    beforeWrite();
    m_writer.write(*this, data, m_writeTimeout);
}

} // namespace rz417
