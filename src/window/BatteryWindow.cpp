#include "window/BatteryWindow.h"

#include "meter/MeterThread.h"
#include "meter/Meters.h"
#include "panel/FrontPanel.h"
#include "panel/ModeTexts.h"
#include "panel/PanelRuns.h"
#include "protocol/Modes.h"
#include "protocol/TimeText.h"
#include "window/BatteryPlot.h"

#include <QComboBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QVBoxLayout>

#include <chrono>

namespace rz417 {

namespace {

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
    : RunWindow(panel, QStringLiteral("Stop the test and switch the input off (Escape)"), parent),
      m_meter(new meter::MeterThread(this))
{
    setObjectName(QStringLiteral("BatteryWindow"));
    setWindowTitle(QStringLiteral("Battery Test - RZ-417"));
    addFields();
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
        const QString path = QFileDialog::getSaveFileName(
            this, QStringLiteral("Battery Test Log"), line("log")->text(),
            QStringLiteral("CSV files (*.csv);;All files (*)"));
        if (!path.isEmpty())
            line("log")->setText(path);
    });
    m_silence.setSingleShot(true);
    connect(&m_silence, &QTimer::timeout, this, [this] {
        if (!m_asking)
            return;
        m_asking = false;
        ++m_serial; // an answer that comes after all is not counted
        reading(std::nullopt, meter::noAnswerText(), runClockNow());
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

void BatteryWindow::addFields()
{
    const QSettings settings;
    for (const auto &parameter : battery::parameters()) {
        const QString key = QString::fromLatin1(parameter.key);
        const QString initial =
            settings.value(kGroup + key, QString::fromLatin1(parameter.initial)).toString();
        QString name = key;
        name[0] = name[0].toUpper();
        if (parameter.field == measure::Field::Choice) {
            m_mode = new QComboBox(this);
            m_mode->setObjectName(name);
            m_mode->addItems(QString::fromLatin1(parameter.unit).split(QLatin1Char(' ')));
            m_mode->setCurrentText(initial);
            continue;
        }
        auto *field = new QLineEdit(initial, this);
        field->setObjectName(name);
        field->setPlaceholderText(QString::fromLatin1(parameter.hint));
        m_lines.emplace_back(parameter.key, field);
        if (parameter.field == measure::Field::Setpoint)
            m_unit = new QLabel(this);
        if (parameter.field == measure::Field::File)
            m_browse = new QPushButton(QStringLiteral("&Browse..."), this);
    }
}

QLineEdit *BatteryWindow::line(const char *key) const
{
    for (const auto &[name, field] : m_lines) {
        if (name == key)
            return field;
    }
    return nullptr;
}

QWidget *BatteryWindow::fieldOf(const char *key) const
{
    if (QLineEdit *field = line(key))
        return field;
    return m_mode;
}

void BatteryWindow::layOut()
{
    auto *grid = new QGridLayout;
    int index = 0;
    for (const auto &parameter : battery::parameters()) {
        const int row = index / 2;
        const int column = index % 2 * 3;
        ++index;
        QWidget *field = fieldOf(parameter.key);
        auto *label = new QLabel(QString::fromLatin1(parameter.label), this);
        label->setBuddy(field);
        grid->addWidget(label, row, column);
        QWidget *beside = nullptr;
        if (parameter.field == measure::Field::Setpoint)
            beside = m_unit;
        else if (parameter.field == measure::Field::File)
            beside = m_browse;
        else if (parameter.field == measure::Field::Line && *parameter.unit)
            beside = new QLabel(QString::fromLatin1(parameter.unit), this);
        grid->addWidget(field, row, column + 1, 1, beside ? 1 : 2);
        if (beside)
            grid->addWidget(beside, row, column + 2);
    }
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(4, 1);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_figures, 1);
    buttons->addWidget(startButton());
    buttons->addWidget(stopButton());
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(buttons);
    layout->addWidget(m_plot, 1);
    layout->addWidget(m_status);
}

measure::Texts BatteryWindow::fieldTexts() const
{
    measure::Texts texts{{"mode", m_mode->currentText().toStdString()}};
    for (const auto &[key, field] : m_lines)
        texts[key] = field->text().trimmed().toStdString();
    return texts;
}

void BatteryWindow::remember() const
{
    QSettings settings;
    settings.setValue(kGroup + QStringLiteral("mode"), m_mode->currentText());
    for (const auto &[key, field] : m_lines)
        settings.setValue(kGroup + QString::fromStdString(key), field->text());
}

void BatteryWindow::begin()
{
    std::string why;
    m_setup = battery::readSetup(fieldTexts(), measure::Naming::Label, why);
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
        startTest();
        return;
    }
    m_meter->open(*m_setup->meter, ++m_serial);
    setStatus(QStringLiteral("Asking the meter at %1 who it is...").arg(line("meter")->text()));
    setPreparing(true);
}

bool BatteryWindow::openLog()
{
    m_log.close();
    if (m_setup->log.empty())
        return true;
    if (std::string why; !m_log.open(m_setup->log, battery::logHeader(), why)) {
        setStatus(sentence(why) + QStringLiteral("; nothing was sent."), true);
        return false;
    }
    return true;
}

void BatteryWindow::meterOpened(int serial, const std::optional<std::string> &identity,
                                const std::string &why)
{
    if (serial != m_serial || state() != State::Preparing)
        return;
    setPreparing(false);
    if (!identity) {
        m_log.close();
        setStatus(sentence(measure::unreachableMeterLine(why)) + QLatin1Char('.'), true);
        return;
    }
    m_identity = text(*identity);
    startTest();
}

void BatteryWindow::startTest()
{
    if (panel().runActive() || panel().remoteState() != RemoteState::Local) {
        m_log.close();
        m_meter->close();
        setStatus(panel().runActive() ? sentence(std::string(panel().run()->what()) +
                                                 " runs on the panel; nothing was sent.")
                                      : QStringLiteral("The panel is in remote; nothing was sent."),
                  true);
        enableControls();
        return;
    }
    // A frame that does not go out ends the test at once, through runningChanged.
    if (!startRun(std::make_unique<MeasuredPanelRun>(
            std::make_unique<battery::DischargeRun>(m_setup->plan, m_setup->stops,
                                                    m_setup->meter.has_value()),
            "a battery test", "battery")))
        return;
    setStatus((m_identity.isEmpty() ? sentence(battery::kUnmeteredLine) + QLatin1Char('.')
                                    : sentence(measure::meterLine(m_identity.toStdString()))) +
              QStringLiteral("\nRunning; Stop, Output or Escape switches the input off."));
    // The first reading is due as the input goes on.
    if (m_setup->meter)
        askMeter();
    else
        due();
}

void BatteryWindow::due()
{
    reading(std::nullopt, {}, runClockNow());
    counted();
}

void BatteryWindow::askMeter()
{
    const auto due = panel().runDue();
    if (!due || !running())
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
    reading(answer, why, runClockNow() - (std::chrono::steady_clock::now() - at));
    counted();
}

const battery::DischargeRun *BatteryWindow::myRun() const
{
    const auto *run = mine<MeasuredPanelRun>();
    return run ? &static_cast<const battery::DischargeRun &>(run->run()) : nullptr;
}

void BatteryWindow::reading(const std::optional<std::string> &answer, const std::string &why,
                            SteadyTime at)
{
    const MeterReading taken{answer, why};
    panel().stepRun(at, &taken);
}

void BatteryWindow::counted()
{
    const battery::DischargeRun *run = myRun();
    if (run && run->readings() > m_shown) {
        m_shown = run->readings();
        const battery::Sample &sample = run->discharge().last();
        if (std::string why; m_log.isOpen() && !m_log.write(battery::logRow(sample), why)) {
            // An unattended test whose log is lost ends, the input off first.
            m_log.close();
            if (running())
                panel().stopRun({battery::DischargeEnd::LogFailed, why});
            else
                m_logLost = why;
        }
        m_plot->add(sample.seconds, sample.volts, sample.ampHours);
        showFigures();
    }
    if (!running())
        return;
    if (m_setup->meter)
        askMeter();
    else
        scheduleDue();
}

void BatteryWindow::showFigures()
{
    m_figures->setText(text(battery::figuresLine(myRun()->discharge().last(), "   ")));
}

void BatteryWindow::finish()
{
    // The last reading, counted as the test ended, is logged and drawn after the input went off.
    counted();
    stopDue();
    m_silence.stop();
    m_asking = false;
    m_log.close();
    m_meter->close();
    const battery::DischargeRun *run = myRun();
    const auto &end = panel().runEnd();
    if (!run || !end)
        return;
    const bool off = !panel().load().inputMayBeOn;
    measure::RunEndWords words =
        battery::endWords(*run, *end, end->end != battery::DischargeEnd::LineFailed || !off, off);
    words.logLost = m_logLost;
    QStringList shown;
    for (const std::string &line : measure::endLines(words))
        shown << sentence(line);
    // Stopped by hand is no problem once the input is off; every other failure is.
    const bool fine =
        measure::succeeded(words) ||
        (end->end == battery::DischargeEnd::Interrupted && words.off && words.logLost.empty());
    setStatus(shown.join(QLatin1Char('\n')), !fine);
}

void BatteryWindow::cancel()
{
    ++m_serial;
    m_log.close();
    m_meter->close();
    setStatus(QStringLiteral("Stopped before the input went on; nothing was sent."));
}

void BatteryWindow::runChanged(bool running)
{
    if (!running)
        finish();
}

void BatteryWindow::controlsChanged(bool busy)
{
    m_mode->setEnabled(!busy);
    m_browse->setEnabled(!busy);
    for (const auto &[key, field] : m_lines)
        field->setEnabled(!busy);
}

void BatteryWindow::setStatus(const QString &status, bool problem)
{
    m_status->setStyleSheet(problem ? QStringLiteral("color: #b00000") : QString());
    m_status->setText(status);
}

} // namespace rz417
