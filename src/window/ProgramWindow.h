#pragma once

#include "program/Program.h"

#include <QTimer>
#include <QWidget>

#include <memory>

class QCheckBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QTableView;

namespace rz417 {

class FrontPanel;
class ProgramRun;
class ProgramModel;
class ProgramPlot;

// A program file beside the panel: its steps, its plot, and Start and Stop. The run itself is
// the panel's; this window only wakes it when a step is due, with a precise timer, so nothing
// ever waits inside a handler.
class ProgramWindow : public QWidget
{
    Q_OBJECT

public:
    ProgramWindow(FrontPanel &panel, const QString &path, std::shared_ptr<const Program> program,
                  QWidget *parent = nullptr);

    ProgramModel *model() const { return m_model; }

    void start();
    void stop();
    // The panel's run started or ended, whoever started or ended it.
    void runningChanged(bool running);
    // Start waits while the panel is in remote.
    void remoteChanged();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    // The file's problems, the table and the plot; returns the problems' label.
    QWidget *makeViews(const QString &path);
    void makeControls();
    void layOut(QWidget *problems);
    void connectRun();
    void onDue();
    void schedule();
    void refresh();
    // This window's run, while it is the panel's last; nothing else.
    const ProgramRun *mine() const;

    FrontPanel &m_panel;
    std::shared_ptr<const Program> m_program;
    ProgramModel *m_model = nullptr;
    ProgramPlot *m_plot = nullptr;
    QTableView *m_table = nullptr;
    QSpinBox *m_repeat = nullptr;
    QCheckBox *m_forever = nullptr;
    QPushButton *m_start = nullptr;
    QPushButton *m_stop = nullptr;
    QProgressBar *m_progress = nullptr;
    QLabel *m_time = nullptr;
    QLabel *m_status = nullptr;
    QTimer m_due;
    QTimer m_tick;
    // The number of the run this window started (0: none): the panel's last run while it is
    // that one, shown until the next starts.
    unsigned m_run = 0;
};

} // namespace rz417
