#include "power/SleepInhibitors.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusPendingCall>
#include <QDBusPendingReply>
#include <QDBusUnixFileDescriptor>

#include <optional>

namespace rz417 {

namespace {

const QString kLogind = QStringLiteral("org.freedesktop.login1");

// logind's "block" inhibitor of sleep: held as long as the descriptor it answers with is open.
// The call goes out without waiting for its answer, so that the frame that switches the input on
// is not held up by logind; Qt DBus takes the answer, and with it the descriptor, on a thread of
// its own, and the descriptor closes when the reply is let go.
class LogindInhibitor : public SleepInhibitor
{
public:
    explicit LogindInhibitor(const std::string &who) : m_who(QString::fromStdString(who)) {}

    std::optional<std::string> hold() override
    {
        if (m_pending)
            return std::nullopt;
        QDBusConnection bus = QDBusConnection::systemBus();
        if (!bus.isConnected())
            return "no system bus (" + bus.lastError().message().toStdString() + ")";
        if (!bus.interface()->isServiceRegistered(kLogind))
            return std::string("logind is not on the system bus");
        QDBusMessage call = QDBusMessage::createMethodCall(
            kLogind, QStringLiteral("/org/freedesktop/login1"),
            QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("Inhibit"));
        call << QStringLiteral("sleep") << m_who
             << QStringLiteral("a run holds the electronic load's input on")
             << QStringLiteral("block");
        m_pending = bus.asyncCall(call, 5000);
        return std::nullopt;
    }

    std::optional<std::string> release() override
    {
        if (!m_pending)
            return std::nullopt;
        std::optional<std::string> why;
        if (m_pending->isFinished() && m_pending->isError())
            why = "logind refused: " + m_pending->error().message().toStdString();
        m_pending.reset();
        return why;
    }

private:
    const QString m_who;
    std::optional<QDBusPendingCall> m_pending;
};

} // namespace

std::unique_ptr<SleepInhibitor> hostSleepInhibitor(const std::string &who)
{
    return std::make_unique<LogindInhibitor>(who);
}

} // namespace rz417
