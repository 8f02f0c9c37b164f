#include "window/ProgramWindow.h"

#include "panel/FrontPanel.h"
#include "panel/PanelRuns.h"
#include "window/ProgramModel.h"
#include "window/ProgramPlot.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QSplitter>
#include <QTableView>
#include <QVBoxLayout>

#include <chrono>

namespace rz417 {

namespace {

SteadyTime now()
{
    return runClockNow();
}

QString clockText(std::chrono::milliseconds t)
{
    const long long tenths = t.count() / 100;
    return QStringLiteral("%1:%2.%3")
        .arg(tenths / 600)
        .arg(tenths / 10 % 60, 2, 10, QLatin1Char('0'))
        .arg(tenths % 10);
}

} // namespace

ProgramWindow::ProgramWindow(FrontPanel &panel, const QString &path,
                             std::shared_ptr<const Program> program, QWidget *parent)
    : RunWindow(panel, QStringLiteral("Stop the program and switch the input off (Escape)"),
                parent),
      m_program(std::move(program))
{
    setObjectName(QStringLiteral("ProgramWindow"));
    setWindowTitle(QFileInfo(path).fileName() + QStringLiteral(" - RZ-417 program"));
    QWidget *problems = makeViews(path);
    makeControls();
    layOut(problems);

    const bool runnable = canStart();
    enableControls();
    m_status->setText(runnable ? QStringLiteral("%1 steps, %2 a pass")
                                     .arg(m_program->steps.size())
                                     .arg(secondsCaption(m_program->duration()))
                               : QStringLiteral("This file has errors; it cannot run."));
    m_tick.setInterval(100);
    connect(&m_tick, &QTimer::timeout, this, &ProgramWindow::refresh);
    resize(720, 600);
}

QWidget *ProgramWindow::makeViews(const QString &path)
{
    m_model = new ProgramModel(path, m_program, this);
    auto *problems = new QLabel(m_model->fileProblems().join(QLatin1Char('\n')), this);
    problems->setObjectName(QStringLiteral("FileProblems"));
    problems->setStyleSheet(QStringLiteral("color: #b00000"));
    problems->setTextFormat(Qt::PlainText);
    problems->setVisible(!problems->text().isEmpty());

    m_table = new QTableView(this);
    m_table->setModel(m_model);
    m_table->setSelectionMode(QAbstractItemView::NoSelection);
    m_table->verticalHeader()->hide();
    m_table->horizontalHeader()->setStretchLastSection(true);
    // A long program is sized by its first rows, not read through.
    m_table->horizontalHeader()->setResizeContentsPrecision(200);
    m_table->resizeColumnsToContents();
    m_table->setWordWrap(true);

    m_plot = new ProgramPlot(*m_program, this);
    m_plot->setMinimumSize(420, 240);
    return problems;
}

void ProgramWindow::makeControls()
{
    m_repeat = new QSpinBox(this);
    m_repeat->setObjectName(QStringLiteral("Repeat"));
    m_repeat->setRange(1, 1000000);
    m_repeat->setValue(1);
    m_forever = new QCheckBox(QStringLiteral("until stopped"), this);
    m_forever->setObjectName(QStringLiteral("Forever"));
    connect(m_forever, &QCheckBox::toggled, m_repeat, &QWidget::setDisabled);
    m_progress = new QProgressBar(this);
    m_progress->setRange(0, 1000);
    m_progress->setValue(0);
    m_progress->setTextVisible(false);
    m_time = new QLabel(this);
    m_time->setObjectName(QStringLiteral("Time"));
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("Status"));
    m_status->setTextFormat(Qt::PlainText);
    m_status->setWordWrap(true);
}

void ProgramWindow::layOut(QWidget *problems)
{
    auto *splitter = new QSplitter(Qt::Vertical, this);
    splitter->addWidget(m_table);
    splitter->addWidget(m_plot);
    auto *controls = new QHBoxLayout;
    controls->addWidget(new QLabel(QStringLiteral("Repeat"), this));
    controls->addWidget(m_repeat);
    controls->addWidget(new QLabel(QStringLiteral("times, or"), this));
    controls->addWidget(m_forever);
    controls->addStretch();
    controls->addWidget(startButton());
    controls->addWidget(stopButton());
    auto *progress = new QHBoxLayout;
    progress->addWidget(m_progress, 1);
    progress->addWidget(m_time);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(problems);
    layout->addWidget(splitter, 1);
    layout->addLayout(controls);
    layout->addLayout(progress);
    layout->addWidget(m_status);
}

void ProgramWindow::begin()
{
    if (!canStart())
        return;
    // The first step is due now: it goes out from this click, as Enter's frame does, not after
    // what the event loop has queued meanwhile (the repaints of a run that starts).
    if (startRun(std::make_unique<ProgramPanelRun>(m_program,
                                                   m_forever->isChecked() ? 0 : m_repeat->value())))
        due();
}

const ProgramRun *ProgramWindow::myRun() const
{
    const auto *run = mine<ProgramPanelRun>();
    return run ? &run->run() : nullptr;
}

void ProgramWindow::due()
{
    panel().stepRun(now());
    scheduleDue();
    refresh();
}

void ProgramWindow::runChanged(bool running)
{
    m_repeat->setEnabled(!running && !m_forever->isChecked());
    m_forever->setEnabled(!running);
    if (running)
        m_tick.start();
    else
        m_tick.stop();
    refresh();
}

bool ProgramWindow::canStart() const
{
    return m_program->problems.empty() && !m_program->steps.empty();
}

void ProgramWindow::refresh()
{
    const ProgramRun *run = myRun();
    if (!run)
        return;
    const SteadyTime t = now();
    const auto step = run->currentStep();
    m_model->setCurrentStep(step);
    if (step)
        m_table->scrollTo(m_model->index(m_model->rowOfStep(*step), 0));

    const auto elapsed = run->elapsed(t);
    const auto pass = m_program->duration();
    const auto remaining = run->remaining(t);
    QString time = QStringLiteral("elapsed %1").arg(clockText(elapsed));
    time += remaining ? QStringLiteral(", remaining %1").arg(clockText(*remaining))
                      : QStringLiteral(", until stopped");
    m_time->setText(time);
    if (pass.count() > 0) {
        const auto total = remaining ? elapsed + *remaining : pass;
        const auto done = remaining ? elapsed : elapsed % pass;
        m_progress->setValue(static_cast<int>(std::min<long long>(
            1000, done.count() * 1000 / std::max<long long>(1, total.count()))));
        m_plot->setTimeCursor(run->running() ? std::optional(elapsed % pass) : std::nullopt);
    }

    const QString where = step ? QStringLiteral("step %1 of %2 (line %3), pass %4")
                                     .arg(*step + 1)
                                     .arg(m_program->steps.size())
                                     .arg(m_program->steps[*step].line)
                                     .arg(run->currentPass())
                               : QStringLiteral("the start");
    if (run->running())
        m_status->setText(QStringLiteral("Running: ") + where);
    else if (run->finished())
        m_status->setText(QStringLiteral("Finished: the load is left as the last step set it."));
    else if (!run->error().empty())
        m_status->setText(QStringLiteral("Stopped at %1: %2; %3")
                              .arg(where, QString::fromStdString(run->error()),
                                   panel().load().inputMayBeOn
                                       ? QStringLiteral("the input may still be on.")
                                       : QStringLiteral("the input is off.")));
    else if (!panel().load().inputMayBeOn)
        m_status->setText(QStringLiteral("Stopped at %1; the input is off.").arg(where));
    else
        m_status->setText(
            QStringLiteral("Stopped at %1; the input could not be switched off.").arg(where));
}

} // namespace rz417
