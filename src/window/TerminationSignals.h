#pragma once

#include <QObject>

#include <functional>
#include <memory>

class QAbstractNativeEventFilter;
class QSocketNotifier;

namespace rz417 {

// Turns SIGINT, SIGTERM, SIGHUP (the terminal closed) and SIGQUIT (Ctrl+\) into a call on the UI
// thread with the signal's number, so the program can end the same way Exit ends it: a running
// program or battery test stopped with its input switched off first, the port released. On
// Windows the session ending (log-off, shut-down) is SIGTERM.
class TerminationSignals : public QObject
{
    Q_OBJECT

public:
    explicit TerminationSignals(std::function<void(int signal)> onSignal,
                                QObject *parent = nullptr);
    ~TerminationSignals() override;

private:
    std::function<void(int)> m_onSignal;
    QSocketNotifier *m_notifier = nullptr;
    std::unique_ptr<QAbstractNativeEventFilter> m_sessionEnd; // Windows
};

} // namespace rz417
