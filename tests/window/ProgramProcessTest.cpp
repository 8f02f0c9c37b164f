// The built panel as a process: how it holds and releases the port.
#include "serial/PortRefusal.h"
#include "serial/SerialPortControl.h"
#include "support/Pty.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QThread>

#include <iostream>

#include <csignal>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace rz417::test {
namespace {

using namespace std::chrono_literals;

// Whether process pid has the device open.
bool holds(qint64 pid, const std::string &device)
{
    const QDir fds(QStringLiteral("/proc/%1/fd").arg(pid));
    for (const QString &fd : fds.entryList(QDir::NoDotAndDotDot | QDir::System | QDir::Files)) {
        if (QFile::symLinkTarget(fds.filePath(fd)).toStdString() == device)
            return true;
    }
    return false;
}

// Starts the panel on the offscreen platform; with nobody to answer, it waits at its first box.
std::unique_ptr<QProcess> startPanel(const std::string &ports)
{
    auto process = std::make_unique<QProcess>();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("RZ417_PORTS"), QString::fromStdString(ports));
    process->setProcessEnvironment(env);
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process->start(QStringLiteral(RZ417_PANEL_BINARY), {});
    EXPECT_TRUE(process->waitForStarted(5000));
    return process;
}

template <typename Pred> bool waitUntil(Pred pred, std::chrono::milliseconds timeout)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < timeout.count()) {
        if (pred())
            return true;
        QThread::msleep(20);
    }
    return pred();
}

TEST(PanelProcess, TerminationSignalsReleaseThePortAndSendNothing)
{
    for (const int signal : {SIGTERM, SIGINT}) {
        Pty pty;
        auto panel = startPanel(pty.slavePath());
        // The port is held while the user is asked about it.
        ASSERT_TRUE(waitUntil([&] { return holds(panel->processId(), pty.slavePath()); }, 10s));

        ::kill(static_cast<pid_t>(panel->processId()), signal);
        ASSERT_TRUE(panel->waitForFinished(5000)) << "signal " << signal;
        EXPECT_EQ(panel->exitStatus(), QProcess::NormalExit);
        // The status of a process that signal ended, as a shell reports it.
        EXPECT_EQ(panel->exitCode(), 128 + signal);
        EXPECT_TRUE(pty.readNow().empty());

        // No stale lock is left: another program can take the port at once.
        SerialPortControl other(PortMap({pty.slavePath()}));
        other.setCommPort(1);
        EXPECT_NO_THROW(other.setPortOpen(true)) << "signal " << signal;
    }
}

TEST(PanelProcess, TwoInstancesNeverHoldTheSamePort)
{
    Pty pty;
    auto first = startPanel(pty.slavePath());
    auto second = startPanel(pty.slavePath());
    const auto holders = [&] {
        return int{holds(first->processId(), pty.slavePath())} +
               int{holds(second->processId(), pty.slavePath())};
    };
    ASSERT_TRUE(waitUntil([&] { return holders() == 1; }, 10s));
    // Give the other instance time to finish its scan; it must still not hold the port.
    QThread::msleep(500);
    EXPECT_EQ(holders(), 1);
    first->kill();
    second->kill();
    first->waitForFinished(5000);
    second->waitForFinished(5000);
}

// Starts the panel, as given by argv, and collects what it writes to standard error.
std::unique_ptr<QProcess> startPanelAs(const QStringList &argv, const std::string &ports)
{
    auto process = std::make_unique<QProcess>();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("RZ417_PORTS"), QString::fromStdString(ports));
    process->setProcessEnvironment(env);
    process->start(argv.first(), argv.mid(1));
    EXPECT_TRUE(process->waitForStarted(5000));
    return process;
}

TEST(PanelProcess, ARefusedDeviceIsNamedOnStandardError)
{
    const QString panel = QStringLiteral(RZ417_PANEL_BINARY);
    // Root opens any device; the user of a bench is someone else, not in the device's group.
    const bool canDrop = ::geteuid() == 0 && QFile::exists(QStringLiteral("/usr/bin/setpriv"));
    const QStringList unprivileged{QStringLiteral("/usr/bin/setpriv"),
                                   QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                                   QStringLiteral("--clear-groups"), panel};
    const struct group *dialout = ::getgrnam("dialout");

    struct Case
    {
        const char *name;
        bool dropPrivileges;
        bool holdPort;
        bool killedHolder; // a panel that held the port was killed, leaving its lock behind
        std::string reason;
    };
    const Case cases[] = {
        {"not in the group", true, false, false,
         "permission denied (add your user to the dialout group and log in again)"},
        {"held by another program", false, true, false,
         "in use by another program (process " + std::to_string(::getpid()) + ")"},
        {"stale lock of another user", true, false, true, "locked by the stale lock file "},
    };
    for (const Case &c : cases) {
        if (c.dropPrivileges && (!canDrop || !dialout)) {
            std::cout << "skipped \"" << c.name
                      << "\": needs root, setpriv and a dialout group to act as another user\n";
            continue;
        }
        Pty pty;
        const QString device = QString::fromStdString(pty.slavePath());
        // An earlier program on a pty of the same number may have left its lock behind.
        if (const auto stale = lockFile(device))
            QFile::remove(*stale);
        std::string reason = c.reason;
        if (c.killedHolder) {
            auto killed = startPanel(pty.slavePath());
            ASSERT_TRUE(waitUntil([&] { return lockFile(device).has_value(); }, 10s));
            killed->kill();
            killed->waitForFinished(5000);
            reason += lockFile(device).value_or(QString()).toStdString() + " (remove it)";
        }
        SerialPortControl holder(PortMap({pty.slavePath()}));
        if (c.holdPort) {
            holder.setCommPort(1);
            holder.setPortOpen(true);
        }
        if (c.dropPrivileges) {
            // As a serial adapter's device is: the group dialout may read and write it.
            ASSERT_EQ(::chown(pty.slavePath().c_str(), 0, dialout->gr_gid), 0);
            ASSERT_EQ(::chmod(pty.slavePath().c_str(), 0660), 0);
        }
        auto process =
            startPanelAs(c.dropPrivileges ? unprivileged : QStringList{panel}, pty.slavePath());
        const std::string expected = pty.slavePath() + ": " + reason;
        std::string err;
        // The line comes before the no-port box, which nobody answers here.
        waitUntil(
            [&] {
                process->waitForReadyRead(50);
                err += process->readAllStandardError().toStdString();
                return err.find(expected + "\n") != std::string::npos;
            },
            10s);
        EXPECT_NE(err.find(expected + "\n"), std::string::npos) << c.name << ": " << err;
        EXPECT_EQ(process->state(), QProcess::Running) << c.name << ": the box is up";
        EXPECT_TRUE(pty.readNow().empty());
        process->kill();
        process->waitForFinished(5000);
        holder.release();
        if (const auto stale = lockFile(device))
            QFile::remove(*stale);
    }
}

} // namespace
} // namespace rz417::test
