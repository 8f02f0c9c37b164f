#include "serial/PortRefusal.h"

#include <QFileInfo>
#include <QLockFile>

#ifndef Q_OS_WIN
#include <cerrno>
#include <csignal>
#include <grp.h>
#include <sys/stat.h>
#endif

namespace rz417 {

namespace {

#ifndef Q_OS_WIN
// The group that may open the device, for the hint ("dialout" on Debian).
QString deviceGroup(const QString &device)
{
    struct stat info = {};
    if (::stat(QFile::encodeName(device).constData(), &info) != 0)
        return QStringLiteral("dialout");
    const struct group *entry = ::getgrgid(info.st_gid);
    if (!entry || info.st_gid == 0)
        return QStringLiteral("dialout");
    return QString::fromLocal8Bit(entry->gr_name);
}
#endif

} // namespace

std::optional<QString> lockFile(const QString &device)
{
#ifdef Q_OS_WIN
    Q_UNUSED(device);
    return std::nullopt;
#else
    // The directories QSerialPort may put its lock file in.
    static const char *const kLockDirs[] = {"/var/lock",         "/etc/locks", "/var/spool/locks",
                                            "/var/spool/uucp",   "/tmp",       "/var/tmp",
                                            "/var/lock/lockdev", "/run/lock"};
    // QSerialPort names the lock after the path without /dev/, slashes made underscores:
    // /dev/ttyUSB0 is LCK..ttyUSB0, /dev/pts/3 is LCK..pts_3.
    QString name = device.startsWith(QStringLiteral("/dev/")) ? device.mid(5) : device;
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    for (const char *dir : kLockDirs) {
        const QString path = QString::fromLatin1(dir) + QStringLiteral("/LCK..") + name;
        if (QFileInfo::exists(path))
            return path;
    }
    return std::nullopt;
#endif
}

std::optional<qint64> lockHolder(const QString &device)
{
#ifdef Q_OS_WIN
    Q_UNUSED(device);
    return std::nullopt;
#else
    const auto path = lockFile(device);
    if (!path)
        return std::nullopt;
    QLockFile lock(*path);
    qint64 pid = 0;
    QString host;
    QString app;
    // A lock left by a process that has ended holds nothing.
    if (lock.getLockInfo(&pid, &host, &app) && pid > 0 &&
        (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM))
        return pid;
    return std::nullopt;
#endif
}

QString refusalReason(const QString &device, QSerialPort::SerialPortError error,
                      const QString &errorString)
{
#ifdef Q_OS_WIN
    Q_UNUSED(device);
    if (error == QSerialPort::PermissionError)
        return QStringLiteral("access denied (in use by another program?)");
    return errorString.toLower();
#else
    if (const auto holder = lockHolder(device))
        return QStringLiteral("in use by another program (process %1)").arg(*holder);
    if (error == QSerialPort::PermissionError) {
        if (errorString.contains(QStringLiteral("creating lock"), Qt::CaseInsensitive))
            return QStringLiteral("no lock directory this user may write to (/run/lock)");
        if (errorString.contains(QStringLiteral("lock"), Qt::CaseInsensitive)) {
            // A lock of an ended process that this user may not remove keeps the port shut
            // just as well.
            if (const auto stale = lockFile(device))
                return QStringLiteral("locked by the stale lock file %1 (remove it)").arg(*stale);
            return QStringLiteral("in use by another program");
        }
        return QStringLiteral("permission denied (add your user to the %1 group and log in again)")
            .arg(deviceGroup(device));
    }
    if (errorString.isEmpty())
        return QStringLiteral("could not be opened");
    return QStringLiteral("could not be opened: ") + errorString;
#endif
}

} // namespace rz417
