#include "window/BatteryWindow.h"

#include "meter/MeterThread.h"
#include "meter/Meters.h"
#include "panel/FrontPanel.h"
#include "panel/ModeTexts.h"
#include "protocol/Modes.h"
#include "window/BatteryPlot.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QShortcut>
#include <QVBoxLayout>

#include <chrono>

namespace rz417 {

namespace {

struct WindowClock : Clock
{
    SteadyTime now() override { return runClockNow(); }
};

QString text(const std::string &s)
{
    return QString::fromStdString(s);
}

// The window's sentences begin with a capital; the command line's lines do not.
QString sentence(const std::string &line)
{
    QString s = text(line);
    if (!s.isEmpty())
        s[0] = s[0].toUpper();
    return s;
}

const QString kGroup = QStringLiteral("battery/");

} // namespace

BatteryWindow::BatteryWindow(FrontPanel &panel, QWidget *parent)
    : QWidget(parent, Qt::Window), m_panel(panel), m_meter(new meter::MeterThread(this))
{
    setObjectName(QStringLiteral("BatteryWindow"));
    setWindowTitle(QStringLiteral("Battery Test - RZ-417"));
    const QSettings settings;
    m_mode = new QComboBox(this);
    m_mode->setObjectName(QStringLiteral("Mode"));
    m_mode->addItems({QStringLiteral("CC"), QStringLiteral("CP"), QStringLiteral("CR")});
    m_mode->setCurrentText(
        settings.value(kGroup + QStringLiteral("mode"), QStringLiteral("CC")).toString());
    m_unit = new QLabel(this);
    m_value = addField("Value", QStringLiteral("value"), QStringLiteral("1"));
    m_cutoff = addField("Cutoff", QStringLiteral("cutoff"), QString());
    m_capacity = addField("Capacity", QStringLiteral("capacity"), QString());
    m_energy = addField("Energy", QStringLiteral("energy"), QString());
    m_time = addField("Time", QStringLiteral("time"), QString());
    m_meterAddress = addField("Meter", QStringLiteral("meter"), QString());
    m_meterAddress->setPlaceholderText(QStringLiteral("HOST:PORT or serial:DEVICE[@BAUD]"));
    m_query = addField("Query", QStringLiteral("query"),
                       QString::fromLatin1(battery::kDefaultMeterQuery));
    m_interval = addField("Interval", QStringLiteral("interval"), QStringLiteral("1"));
    m_log = addField("Log", QStringLiteral("log"), QString());
    m_log->setPlaceholderText(QStringLiteral("a CSV file, or none"));
    m_browse = new QPushButton(QStringLiteral("&Browse..."), this);
    m_start = new QPushButton(QStringLiteral("&Start"), this);
    m_start->setObjectName(QStringLiteral("Start"));
    m_stop = new QPushButton(QStringLiteral("S&top"), this);
    m_stop->setObjectName(QStringLiteral("Stop"));
    m_stop->setToolTip(QStringLiteral("Stop the test and switch the input off (Escape)"));
    m_figures = new QLabel(this);
    m_figures->setObjectName(QStringLiteral("Figures"));
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("Status"));
    m_status->setTextFormat(Qt::PlainText);
    m_status->setWordWrap(true);
    m_status->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_plot = new BatteryPlot(this);
    layOut();

    const auto showUnit = [this] {
        const ModeInfo *mode = modeByName(m_mode->currentText().toStdString());
        m_unit->setText(QString::fromUtf8(modeTexts(mode ? mode->code : ModeCodes::CC).unit));
    };
    showUnit();
    connect(m_mode, &QComboBox::currentTextChanged, this, showUnit);
    connect(m_browse, &QPushButton::clicked, this, [this] {
        const QString path =
            QFileDialog::getSaveFileName(this, QStringLiteral("Battery Test Log"), m_log->text(),
                                         QStringLiteral("CSV files (*.csv);;All files (*)"));
        if (!path.isEmpty())
            m_log->setText(path);
    });
    connect(m_start, &QPushButton::clicked, this, &BatteryWindow::start);
    connect(m_stop, &QPushButton::clicked, this, &BatteryWindow::stop);
    // Escape is the emergency stop here too, where the focus is after Start.
    auto *escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    escape->setAutoRepeat(false);
    connect(escape, &QShortcut::activated, this, &BatteryWindow::stop);
    m_due.setSingleShot(true);
    m_due.setTimerType(Qt::PreciseTimer);
    connect(&m_due, &QTimer::timeout, this, &BatteryWindow::onDue);
    m_silence.setSingleShot(true);
    connect(&m_silence, &QTimer::timeout, this, [this] {
        if (!m_asking)
            return;
        m_asking = false;
        ++m_serial; // an answer that comes after all is not counted
        m_panel.batteryReading(std::nullopt, meter::noAnswerText(), runClockNow());
        counted();
    });
    connect(m_meter, &meter::MeterThread::opened, this, &BatteryWindow::meterOpened);
    connect(m_meter, &meter::MeterThread::answered, this, &BatteryWindow::meterAnswered);
    enableControls();
    setStatus(QStringLiteral("Give a stop, and a meter for the voltage; then Start."));
    resize(760, 620);
}

// The panel outlives this window; a test still running was stopped when the window closed.
BatteryWindow::~BatteryWindow() = default;

QLineEdit *BatteryWindow::addField(const char *name, const QString &settingKey,
                                   const QString &initial)
{
    auto *field = new QLineEdit(QSettings().value(kGroup + settingKey, initial).toString(), this);
    field->setObjectName(QString::fromLatin1(name));
    field->setProperty("settingKey", settingKey);
    return field;
}

void BatteryWindow::layOut()
{
    auto *grid = new QGridLayout;
    const auto label = [this](const QString &caption, QWidget *buddy) {
        auto *l = new QLabel(caption, this);
        l->setBuddy(buddy);
        return l;
    };
    const auto unit = [this](const QString &caption) { return new QLabel(caption, this); };
    grid->addWidget(label(QStringLiteral("&Mode"), m_mode), 0, 0);
    grid->addWidget(m_mode, 0, 1);
    grid->addWidget(label(QStringLiteral("&Value"), m_value), 0, 2);
    grid->addWidget(m_value, 0, 3);
    grid->addWidget(m_unit, 0, 4);
    grid->addWidget(label(QStringLiteral("C&ut-off"), m_cutoff), 1, 0);
    grid->addWidget(m_cutoff, 1, 1);
    grid->addWidget(unit(QStringLiteral("V")), 1, 2);
    grid->addWidget(label(QStringLiteral("Ca&pacity"), m_capacity), 1, 3);
    grid->addWidget(m_capacity, 1, 4);
    grid->addWidget(unit(QStringLiteral("Ah")), 1, 5);
    grid->addWidget(label(QStringLiteral("E&nergy"), m_energy), 2, 0);
    grid->addWidget(m_energy, 2, 1);
    grid->addWidget(unit(QStringLiteral("Wh")), 2, 2);
    grid->addWidget(label(QStringLiteral("T&ime"), m_time), 2, 3);
    grid->addWidget(m_time, 2, 4);
    grid->addWidget(unit(QStringLiteral("s, min or h")), 2, 5);
    grid->addWidget(label(QStringLiteral("M&eter"), m_meterAddress), 3, 0);
    grid->addWidget(m_meterAddress, 3, 1, 1, 2);
    grid->addWidget(label(QStringLiteral("&Query"), m_query), 3, 3);
    grid->addWidget(m_query, 3, 4, 1, 2);
    grid->addWidget(label(QStringLiteral("Interv&al"), m_interval), 4, 0);
    grid->addWidget(m_interval, 4, 1);
    grid->addWidget(unit(QStringLiteral("s")), 4, 2);
    grid->addWidget(label(QStringLiteral("&Log file"), m_log), 4, 3);
    grid->addWidget(m_log, 4, 4);
    grid->addWidget(m_browse, 4, 5);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(4, 1);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_figures, 1);
    buttons->addWidget(m_start);
    buttons->addWidget(m_stop);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(buttons);
    layout->addWidget(m_plot, 1);
    layout->addWidget(m_status);
}

battery::SetupTexts BatteryWindow::fieldTexts() const
{
    const auto t = [](const QLineEdit *field) { return field->text().trimmed().toStdString(); };
    return {m_mode->currentText().toStdString(),
            t(m_value),
            t(m_cutoff),
            t(m_capacity),
            t(m_energy),
            t(m_time),
            t(m_meterAddress),
            t(m_query),
            t(m_interval)};
}

void BatteryWindow::remember() const
{
    QSettings settings;
    settings.setValue(kGroup + QStringLiteral("mode"), m_mode->currentText());
    for (const QLineEdit *field : findChildren<QLineEdit *>()) {
        const QString key = field->property("settingKey").toString();
        if (!key.isEmpty())
            settings.setValue(kGroup + key, field->text());
    }
}

void BatteryWindow::start()
{
    if (!m_start->isEnabled())
        return;
    std::string why;
    m_setup = battery::readSetup(fieldTexts(), why);
    if (!m_setup) {
        setStatus(sentence(why) + QStringLiteral("; nothing was sent."), true);
        return;
    }
    remember();
    if (!openLog())
        return;
    m_plot->clear(m_setup->stops.timeMs ? std::optional(double(*m_setup->stops.timeMs) / 1000)
                                        : std::nullopt);
    m_figures->clear();
    m_logLost.clear();
    m_shown = 0;
    m_identity.clear();
    if (!m_setup->meter) {
        begin();
        return;
    }
    m_connecting = true;
    m_meter->open(*m_setup->meter, ++m_serial);
    setStatus(QStringLiteral("Asking the meter at %1 who it is...").arg(m_meterAddress->text()));
    enableControls();
}

bool BatteryWindow::openLog()
{
    m_logFile.close();
    const QString path = m_log->text().trimmed();
    if (path.isEmpty())
        return true;
    m_logFile.setFileName(path);
    const QByteArray header = QByteArray(battery::logHeader()) + '\n';
    if (!m_logFile.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        m_logFile.write(header) != header.size() || !m_logFile.flush()) {
        setStatus(QStringLiteral("%1: cannot be written (%2); nothing was sent.")
                      .arg(path, m_logFile.errorString()),
                  true);
        m_logFile.close();
        return false;
    }
    return true;
}

void BatteryWindow::meterOpened(int serial, const std::optional<std::string> &identity,
                                const std::string &why)
{
    if (serial != m_serial || !m_connecting)
        return;
    m_connecting = false;
    if (!identity) {
        m_logFile.close();
        setStatus(
            QStringLiteral("The meter cannot be reached: %1; nothing was sent.").arg(text(why)),
            true);
        enableControls();
        return;
    }
    m_identity = text(*identity);
    begin();
}

void BatteryWindow::begin()
{
    if (m_panel.runActive() || m_panel.remoteState() != RemoteState::Local) {
        m_logFile.close();
        m_meter->close();
        setStatus(m_panel.runActive()
                      ? QStringLiteral("A program runs on the panel; nothing was sent.")
                      : QStringLiteral("The panel is in remote; nothing was sent."),
                  true);
        enableControls();
        return;
    }
    m_mine = true;
    WindowClock clock;
    // A frame that does not go out ends the test at once, through runningChanged.
    if (!m_panel.startBattery(std::make_unique<battery::DischargeRun>(m_setup->plan, m_setup->stops,
                                                                      m_setup->meter.has_value()),
                              clock))
        return;
    setStatus((m_identity.isEmpty()
                   ? QStringLiteral("No meter: the figures are counted from the setpoint, not "
                                    "measured.")
                   : QStringLiteral("Meter: %1").arg(m_identity)) +
              QStringLiteral("\nRunning; Stop, Output or Escape switches the input off."));
    // The first reading is due as the input goes on.
    if (m_setup->meter)
        askMeter();
    else
        onDue();
}

void BatteryWindow::schedule()
{
    const auto due = m_panel.batteryDue();
    if (!due || !m_mine)
        return;
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(*due - runClockNow());
    m_due.start(static_cast<int>(std::max<long long>(0, wait.count())));
}

void BatteryWindow::onDue()
{
    if (!m_mine || !m_panel.batteryRunning())
        return;
    m_panel.batteryReading(std::nullopt, {}, runClockNow());
    counted();
}

void BatteryWindow::askMeter()
{
    const auto due = m_panel.batteryDue();
    if (!due || !m_mine)
        return;
    // The meter's thread sends the query at its time; the window only waits for the answer,
    // and counts none that is a second overdue as no answer.
    m_asking = true;
    // The meter's thread waits on the steady clock; the run counts in its own.
    const auto left = *due - runClockNow();
    m_meter->ask(m_setup->plan.query, ++m_serial, std::chrono::steady_clock::now() + left);
    const auto overdue = std::chrono::ceil<std::chrono::milliseconds>(
        left + std::chrono::milliseconds(meter::kAnswerMs + 1000));
    m_silence.start(static_cast<int>(std::max<long long>(0, overdue.count())));
}

void BatteryWindow::meterAnswered(int serial, const std::optional<std::string> &answer,
                                  const std::string &why, SteadyTime at)
{
    if (serial != m_serial || !m_asking)
        return;
    m_asking = false;
    m_silence.stop();
    // The meter's thread keeps the steady clock; the run counts in its own.
    m_panel.batteryReading(answer, why, runClockNow() - (std::chrono::steady_clock::now() - at));
    counted();
}

void BatteryWindow::counted()
{
    const battery::DischargeRun *run = m_panel.batteryRun();
    if (m_mine && run && run->readings() > m_shown) {
        m_shown = run->readings();
        const battery::Sample &sample = run->discharge().last();
        if (m_logFile.isOpen()) {
            const QByteArray row = QByteArray::fromStdString(battery::logRow(sample)) + '\n';
            if (m_logFile.write(row) != row.size() || !m_logFile.flush()) {
                // An unattended test whose log is lost ends, the input off first.
                const std::string why =
                    (m_logFile.fileName() + QStringLiteral(": cannot be written (") +
                     m_logFile.errorString() + QStringLiteral(")"))
                        .toStdString();
                m_logFile.close();
                if (m_panel.batteryRunning())
                    m_panel.stopBattery({battery::DischargeEnd::LogFailed, why});
                else
                    m_logLost = text(why) + QStringLiteral("; the last reading is not in the log.");
            }
        }
        m_plot->add(sample.seconds, sample.volts, sample.ampHours);
        showFigures();
    }
    if (!m_mine || !m_panel.batteryRunning())
        return;
    if (m_setup->meter)
        askMeter();
    else
        schedule();
}

void BatteryWindow::showFigures()
{
    const battery::Sample &s = m_panel.batteryRun()->discharge().last();
    using battery::figureText;
    QString figures = text(battery::durationText(s.seconds));
    if (s.volts)
        figures += QStringLiteral("   %1 V").arg(text(figureText(*s.volts, 3)));
    if (s.amps)
        figures += QStringLiteral("   %1 A").arg(text(figureText(*s.amps, 3)));
    figures += QStringLiteral("   %1 Ah   %2 Wh")
                   .arg(text(figureText(s.ampHours, 4)), text(figureText(s.wattHours, 4)));
    m_figures->setText(figures);
}

void BatteryWindow::finish()
{
    // The last reading, counted as the test ended, is logged and drawn after the input went off.
    counted();
    m_due.stop();
    m_silence.stop();
    m_asking = false;
    m_logFile.close();
    m_meter->close();
    const battery::DischargeRun *run = m_panel.batteryRun();
    const auto &end = m_panel.batteryEnd();
    if (!run || !end)
        return;
    std::vector<std::string> lines = battery::summaryLines(*run);
    const std::string after = battery::durationText(run->discharge().last().seconds);
    const bool off = !m_panel.load().inputMayBeOn;
    bool problem = !off || !m_logLost.isEmpty();
    switch (end->end) {
    case battery::DischargeEnd::Stopped:
        break;
    case battery::DischargeEnd::Interrupted:
        lines.front() = "stopped by hand after " + after;
        break;
    case battery::DischargeEnd::MeterFailed:
        lines.front() = "the meter stopped answering (" + end->why + ") after " + after;
        problem = true;
        break;
    case battery::DischargeEnd::LogFailed:
        lines.front() = end->why + "; the test was stopped after " + after;
        problem = true;
        break;
    case battery::DischargeEnd::LineFailed:
        lines = {"the test did not start: " + end->why};
        problem = true;
        break;
    }
    QStringList shown;
    for (const std::string &line : lines)
        shown << sentence(line);
    if (end->end != battery::DischargeEnd::LineFailed || m_panel.load().inputMayBeOn)
        shown << (off ? QStringLiteral("The input was switched off.")
                      : QStringLiteral("The input could not be switched off!"));
    if (!m_logLost.isEmpty())
        shown << m_logLost;
    setStatus(shown.join(QLatin1Char('\n')), problem);
}

void BatteryWindow::stop()
{
    if (m_connecting) {
        m_connecting = false;
        ++m_serial;
        m_logFile.close();
        m_meter->close();
        setStatus(QStringLiteral("Stopped before the input went on; nothing was sent."));
        enableControls();
        return;
    }
    m_panel.stopBattery();
}

void BatteryWindow::runningChanged(bool running)
{
    if (!running && m_mine) {
        finish();
        m_mine = false;
    }
    enableControls();
}

void BatteryWindow::remoteChanged()
{
    enableControls();
}

void BatteryWindow::enableControls()
{
    const bool busy = m_connecting || (m_mine && m_panel.batteryRunning());
    m_start->setEnabled(!busy && !m_panel.runActive() &&
                        m_panel.remoteState() == RemoteState::Local);
    m_stop->setEnabled(busy);
    for (QWidget *field :
         std::initializer_list<QWidget *>{m_mode, m_value, m_cutoff, m_capacity, m_energy, m_time,
                                          m_meterAddress, m_query, m_interval, m_log, m_browse})
        field->setEnabled(!busy);
}

void BatteryWindow::setStatus(const QString &status, bool problem)
{
    m_status->setStyleSheet(problem ? QStringLiteral("color: #b00000") : QString());
    m_status->setText(status);
}

void BatteryWindow::closeEvent(QCloseEvent *event)
{
    // Closing the window that runs a test stops it and switches the input off first.
    if (m_connecting || m_mine)
        stop();
    QWidget::closeEvent(event);
}

} // namespace rz417
