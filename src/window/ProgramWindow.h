#pragma once

#include "program/Program.h"

#include "window/RunWindow.h"

#include <QTimer>

#include <memory>

class QCheckBox;
class QLabel;
class QProgressBar;
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
class ProgramWindow : public RunWindow
{
    Q_OBJECT

public:
    ProgramWindow(FrontPanel &panel, const QString &path, std::shared_ptr<const Program> program,
                  QWidget *parent = nullptr);

    ProgramModel *model() const { return m_model; }

private:
    void begin() override;
    void due() override;
    void runChanged(bool running) override;
    bool canStart() const override;

    // The file's problems, the table and the plot; returns the problems' label.
    QWidget *makeViews(const QString &path);
    void makeControls();
    void layOut(QWidget *problems);
    void refresh();
    // This window's run, while it is the panel's last; nothing else.
    const ProgramRun *myRun() const;

    std::shared_ptr<const Program> m_program;
    ProgramModel *m_model = nullptr;
    ProgramPlot *m_plot = nullptr;
    QTableView *m_table = nullptr;
    QSpinBox *m_repeat = nullptr;
    QCheckBox *m_forever = nullptr;
    QProgressBar *m_progress = nullptr;
    QLabel *m_time = nullptr;
    QLabel *m_status = nullptr;
    QTimer m_tick;
};

} // namespace rz417
