#pragma once

#include <QSerialPort>
#include <QString>

#include <optional>

namespace rz417 {

// The lock file QSerialPort keeps for a device, where one exists ("/run/lock/LCK..ttyUSB0";
// "LCK..pts_3" for /dev/pts/3).
std::optional<QString> lockFile(const QString &device);

// The process that holds a device's lock file, where one names a live process.
std::optional<qint64> lockHolder(const QString &device);

// Why a device that exists did not open, in words a user can act on: "permission denied (add
// your user to the dialout group and log in again)", "in use by another program (process 4242)".
QString refusalReason(const QString &device, QSerialPort::SerialPortError error,
                      const QString &errorString);

} // namespace rz417
