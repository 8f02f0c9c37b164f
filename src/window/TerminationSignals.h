#pragma once

#include <QObject>

#include <functional>

class QSocketNotifier;

namespace rz417 {

// Turns SIGINT and SIGTERM (on Windows: the session ending) into a call on the UI thread, so the
// program can end the same way Exit ends it: port released, nothing sent.
class TerminationSignals : public QObject
{
    Q_OBJECT

public:
    explicit TerminationSignals(std::function<void()> onSignal, QObject *parent = nullptr);
    ~TerminationSignals() override;

private:
    std::function<void()> m_onSignal;
    QSocketNotifier *m_notifier = nullptr;
};

} // namespace rz417
