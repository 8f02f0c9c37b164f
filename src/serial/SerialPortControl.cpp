#include "serial/SerialPortControl.h"

#include "serial/PortRefusal.h"

#include "link/CrashGuard.h"

#include <QFile>
#include <QFileInfo>

namespace rz417 {

namespace {

QSerialPort::Parity toQt(Parity parity)
{
    switch (parity) {
    case Parity::Even:
        return QSerialPort::EvenParity;
    case Parity::Odd:
        return QSerialPort::OddParity;
    case Parity::Mark:
        return QSerialPort::MarkParity;
    case Parity::Space:
        return QSerialPort::SpaceParity;
    case Parity::None:
    default:
        return QSerialPort::NoParity;
    }
}

QSerialPort::StopBits toQt(StopBits stopBits)
{
    switch (stopBits) {
    case StopBits::OneAndHalf:
        return QSerialPort::OneAndHalfStop;
    case StopBits::Two:
        return QSerialPort::TwoStop;
    case StopBits::One:
    default:
        return QSerialPort::OneStop;
    }
}

} // namespace

SerialPortControl::SerialPortControl(PortMap ports, QObject *parent)
    : QObject(parent), SerialControl(std::move(ports))
{
    connect(&m_port, &QSerialPort::errorOccurred, this, &SerialPortControl::onErrorOccurred);
    // The link is one-way: whatever the instrument sends is thrown away as it arrives.
    connect(&m_port, &QSerialPort::readyRead, this, &SerialPortControl::discardInput);
}

SerialPortControl::~SerialPortControl()
{
    release();
}

void SerialPortControl::applyNewSettings()
{
    // What was written goes out at the settings it was written for.
    if (!drainLine())
        throw CommError(CommCodes::NoHardware, "the last bytes written did not leave the line");
    if (!applySettings())
        throw CommError(CommCodes::BadSettings, "the device refused the settings");
}

void SerialPortControl::setPortOpen(bool open)
{
    if (open) {
        if (m_portOpen)
            throw CommError(CommCodes::AlreadyOpen, "port already open");
        const std::string path = m_ports.path(m_commPort);
        if (path.empty())
            throw CommError(CommCodes::BadId, "no device at this port number");
        const QString device = QFile::decodeName(QByteArray::fromStdString(path));
#ifndef Q_OS_WIN
        // QSerialPort writes and syncs a lock file before it tries the device; refusing an
        // absent device here keeps the start-up scan of empty port numbers off the disk.
        if (!QFileInfo::exists(device))
            throw CommError(CommCodes::NoHardware, "no such device");
#endif
        m_port.setPortName(device);
        if (!openDevice()) {
            throw CommError(CommCodes::NoHardware, "the device did not open",
                            path + ": " + m_lastRefusal.toStdString());
        }
        m_portOpen = true;
        return;
    }

    if (!m_portOpen)
        return;
    m_portOpen = false;
    if (!m_port.isOpen())
        return; // lost earlier; nothing left to release
    const crashguard::LineUse use(guardKey());
    // Closing puts the device's old settings back at once; bytes still in the transmitter would
    // go out at the old speed.
    const bool drained = m_writer.finish(*this, m_writeTimeout) && drainLine();
    m_port.clearError();
    crashguard::lineClosed(guardKey());
    m_port.close();
    const QSerialPort::SerialPortError error = m_port.error();
    m_port.clearError();
    if (!drained)
        throw CommError(CommCodes::NoHardware, "the last bytes written did not leave the line");
    if (error != QSerialPort::NoError)
        throw CommError(CommCodes::NoHardware, "closing the device failed");
}

bool SerialPortControl::release()
{
    bool drained = true;
    if (m_port.isOpen()) {
        const crashguard::LineUse use(guardKey());
        drained = m_writer.finish(*this, m_writeTimeout) && drainLine();
        crashguard::lineClosed(guardKey());
        m_port.close();
        m_port.clearError();
    }
    m_portOpen = false;
    return drained;
}

bool SerialPortControl::openDevice()
{
    const crashguard::LineUse use(guardKey());
    m_port.clearError();
    if (!m_port.open(QIODevice::ReadWrite)) {
        m_lastRefusal =
            refusalReason(QFile::decodeName(QByteArray::fromStdString(m_ports.path(m_commPort))),
                          m_port.error(), m_port.errorString());
        m_port.clearError();
        return false;
    }
    if (!applySettings()) {
        m_lastRefusal = QStringLiteral("refused the line settings: ") + m_port.errorString();
        m_port.close();
        m_port.clearError();
        return false;
    }
    m_port.clear(QSerialPort::AllDirections);
    m_writer.reset();
    crashguard::lineOpened(guardKey(), static_cast<std::intptr_t>(m_port.handle()));
    return true;
}

bool SerialPortControl::applySettings()
{
    return m_port.setBaudRate(m_settings.baudRate) &&
           m_port.setDataBits(static_cast<QSerialPort::DataBits>(m_settings.dataBits)) &&
           m_port.setParity(toQt(m_settings.parity)) &&
           m_port.setStopBits(toQt(m_settings.stopBits)) &&
           m_port.setFlowControl(QSerialPort::NoFlowControl);
}

void SerialPortControl::onErrorOccurred(QSerialPort::SerialPortError error)
{
    // A vanished device keeps signalling errors until it is closed; close it at once and let
    // the next write try to open it again.
    // A pseudo-terminal whose far end closed reports a hang-up as a failed read.
    const bool lost = error == QSerialPort::ResourceError || error == QSerialPort::ReadError ||
                      error == QSerialPort::WriteError;
    if (lost && m_port.isOpen())
        markLost();
}

void SerialPortControl::discardInput()
{
    m_port.clear(QSerialPort::Input);
}

void SerialPortControl::markLost()
{
    const crashguard::LineUse use(guardKey());
    crashguard::lineClosed(guardKey());
    if (m_port.isOpen())
        m_port.close();
    m_port.clearError();
}

} // namespace rz417
