#include "window/TerminationSignals.h"

#include <QGuiApplication>
#include <QSessionManager>

namespace rz417 {

// The panel is a window program with no console, so Ctrl+C never reaches it; what ends it from
// outside is the session ending (log-off, shutdown), which Windows asks the window about first.
TerminationSignals::TerminationSignals(std::function<void()> onSignal, QObject *parent)
    : QObject(parent), m_onSignal(std::move(onSignal))
{
    connect(qGuiApp, &QGuiApplication::commitDataRequest, this,
            [this](QSessionManager &) { m_onSignal(); });
}

TerminationSignals::~TerminationSignals() = default;

} // namespace rz417
