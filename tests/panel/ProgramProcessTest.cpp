// The built panel as a process: how it holds and releases the port.
#include "link/SerialPortControl.h"
#include "support/Pty.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QThread>

#include <csignal>
#include <gtest/gtest.h>

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
        EXPECT_EQ(panel->exitCode(), 0);
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

} // namespace
} // namespace rz417::test
