#include "window/RunWindow.h"

#include "panel/FrontPanel.h"

#include <QCloseEvent>
#include <QPushButton>
#include <QShortcut>

#include <chrono>

namespace rz417 {

RunWindow::RunWindow(FrontPanel &panel, const QString &stopTip, QWidget *parent)
    : QWidget(parent, Qt::Window), m_panel(panel),
      m_start(new QPushButton(QStringLiteral("&Start"), this)),
      m_stop(new QPushButton(QStringLiteral("S&top"), this))
{
    m_start->setObjectName(QStringLiteral("Start"));
    m_stop->setObjectName(QStringLiteral("Stop"));
    m_stop->setToolTip(stopTip);
    m_stop->setEnabled(false);
    connect(m_start, &QPushButton::clicked, this, &RunWindow::start);
    connect(m_stop, &QPushButton::clicked, this, &RunWindow::stop);
    // Escape is the emergency stop here too, where the focus is after Start.
    auto *escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    escape->setAutoRepeat(false);
    connect(escape, &QShortcut::activated, this, &RunWindow::stop);
    m_due.setSingleShot(true);
    m_due.setTimerType(Qt::PreciseTimer);
    connect(&m_due, &QTimer::timeout, this, [this] {
        if (running())
            due();
    });
}

void RunWindow::start()
{
    if (m_start->isEnabled())
        begin();
}

void RunWindow::stop()
{
    if (m_preparing) {
        setPreparing(false);
        cancel();
        return;
    }
    m_panel.stopRun();
}

bool RunWindow::startRun(std::unique_ptr<PanelRun> run)
{
    // Known as this window's before it starts: the panel says it runs as it starts.
    m_run = m_panel.runNumber() + 1;
    RunClock clock;
    return m_panel.startRun(std::move(run), clock);
}

bool RunWindow::isMine() const
{
    return m_run != 0 && m_panel.runNumber() == m_run;
}

const PanelRun *RunWindow::lastRun() const
{
    return m_panel.run();
}

bool RunWindow::running() const
{
    return isMine() && m_panel.runActive();
}

RunWindow::State RunWindow::state() const
{
    if (m_preparing)
        return State::Preparing;
    if (!isMine())
        return State::Idle;
    return m_panel.runActive() ? State::Running : State::Ended;
}

void RunWindow::setPreparing(bool preparing)
{
    m_preparing = preparing;
    enableControls();
}

void RunWindow::scheduleDue()
{
    const auto due = running() ? m_panel.runDue() : std::nullopt;
    if (!due)
        return;
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(*due - runClockNow());
    m_due.start(static_cast<int>(std::max<long long>(0, wait.count())));
}

void RunWindow::runningChanged(bool running)
{
    const bool mineNow = running && isMine();
    if (mineNow != m_running) {
        m_running = mineNow;
        if (!mineNow)
            m_due.stop();
        runChanged(mineNow);
    }
    enableControls();
}

void RunWindow::remoteChanged()
{
    enableControls();
}

void RunWindow::enableControls()
{
    const bool busy = m_preparing || running();
    m_start->setEnabled(!busy && !m_panel.runActive() &&
                        m_panel.remoteState() == RemoteState::Local && canStart());
    m_stop->setEnabled(busy);
    controlsChanged(busy);
}

void RunWindow::closeEvent(QCloseEvent *event)
{
    // Closing the window that runs something stops it and switches the input off first.
    if (m_preparing || running())
        stop();
    QWidget::closeEvent(event);
}

} // namespace rz417
