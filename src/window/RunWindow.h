#pragma once

#include "panel/PanelRun.h"

#include <QTimer>
#include <QWidget>

#include <memory>

class QPushButton;

namespace rz417 {

class FrontPanel;

// What every window that runs something on the panel shares: Start and Stop (and Escape, the
// emergency stop, which stops whatever runs), the precise timer that wakes its run when a step or
// reading is due, the Start rule, its run known by the panel's number for it, and a close that
// stops it. The run itself is the panel's; nothing here ever waits inside a handler.
class RunWindow : public QWidget
{
    Q_OBJECT

public:
    enum class State {
        Idle,      // no run of this window's yet
        Preparing, // Start was clicked and the run is made ready (a meter asked who it is)
        Running,
        Ended, // the last run of this window's ended; its end stays shown
    };

    void start();
    void stop();
    // The panel's run started or ended, whoever started or ended it.
    void runningChanged(bool running);
    // Start waits while the panel is in remote.
    void remoteChanged();
    State state() const;

protected:
    RunWindow(FrontPanel &panel, const QString &stopTip, QWidget *parent);

    FrontPanel &panel() const { return m_panel; }
    QPushButton *startButton() const { return m_start; }
    QPushButton *stopButton() const { return m_stop; }

    // The run goes to the panel as this window's; false when the panel did not start it (a box
    // or the run's end says why).
    bool startRun(std::unique_ptr<PanelRun> run);
    // This window's run, while it is the panel's last, running or ended.
    template <class Run> const Run *mine() const
    {
        return isMine() ? static_cast<const Run *>(lastRun()) : nullptr;
    }
    bool running() const;
    void setPreparing(bool preparing);
    // The timer wakes due() at the run's next due time.
    void scheduleDue();
    void stopDue() { m_due.stop(); }
    // The controls as the state says; calls controlsChanged.
    void enableControls();

    // Start was clicked and may act.
    virtual void begin() = 0;
    // A step or reading is due.
    virtual void due() = 0;
    // Stop while preparing: nothing went out.
    virtual void cancel() {}
    // This window's run started (true) or ended (false).
    virtual void runChanged(bool running) = 0;
    // The window's own part of the Start rule.
    virtual bool canStart() const { return true; }
    virtual void controlsChanged(bool busy) { (void)busy; }

    void closeEvent(QCloseEvent *event) override;

private:
    bool isMine() const;
    const PanelRun *lastRun() const;

    FrontPanel &m_panel;
    QPushButton *m_start;
    QPushButton *m_stop;
    QTimer m_due;
    unsigned m_run = 0; // the panel's number of this window's last run; 0: none
    bool m_preparing = false;
    bool m_running = false; // this window's run, as last told
};

} // namespace rz417
