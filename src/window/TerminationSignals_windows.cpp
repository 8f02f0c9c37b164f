#include "window/TerminationSignals.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>

#include <csignal>

#include <windows.h>

namespace rz417 {

namespace {

// The panel is a window program with no console, so Ctrl+C never reaches it; what ends it from
// outside is the session ending (log-off, shut-down), which Windows tells every top-level window
// of first (WM_QUERYENDSESSION), and then that it ends (WM_ENDSESSION). The first of them ends
// the panel as Exit does, the input of a running program or battery test off first: Windows
// ends the process soon after either has been answered.
class SessionEnd : public QAbstractNativeEventFilter
{
public:
    explicit SessionEnd(std::function<void(int)> &onSignal) : m_onSignal(onSignal) {}

    bool nativeEventFilter(const QByteArray &, void *message, qintptr *) override
    {
        const MSG *msg = static_cast<const MSG *>(message);
        const bool ending = msg->message == WM_QUERYENDSESSION ||
                            (msg->message == WM_ENDSESSION && msg->wParam != FALSE);
        if (ending && !m_ended) {
            m_ended = true;
            m_onSignal(SIGTERM);
        }
        return false;
    }

private:
    std::function<void(int)> &m_onSignal;
    bool m_ended = false;
};

} // namespace

TerminationSignals::TerminationSignals(std::function<void(int)> onSignal, QObject *parent)
    : QObject(parent), m_onSignal(std::move(onSignal)),
      m_sessionEnd(std::make_unique<SessionEnd>(m_onSignal))
{
    QCoreApplication::instance()->installNativeEventFilter(m_sessionEnd.get());
}

TerminationSignals::~TerminationSignals()
{
    QCoreApplication::instance()->removeNativeEventFilter(m_sessionEnd.get());
}

} // namespace rz417
