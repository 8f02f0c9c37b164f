#include "window/MeasuredWindow.h"

#include "battery/BatterySetup.h"
#include "meter/MeterThread.h"
#include "meter/Meters.h"
#include "panel/FrontPanel.h"
#include "panel/PanelRuns.h"
#include "window/KindViews.h"
#include "window/RunPlot.h"
#include "window/TestFields.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
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

// The kind chosen last, by its name.
const QString kKindKey = QStringLiteral("measured/kind");

int rememberedKind()
{
    const std::string name = QSettings().value(kKindKey).toString().toStdString();
    const auto &all = kinds::kinds();
    for (std::size_t i = 0; i < all.size(); ++i) {
        if (name == all[i].name)
            return static_cast<int>(i);
    }
    return 0;
}

// A reading's figures on one line; a discharge's with wider gaps, as they always were.
QString figuresOf(const measure::MeasuredRun &run)
{
    if (const auto *discharge = dynamic_cast<const battery::DischargeRun *>(&run))
        return text(battery::figuresLine(discharge->discharge().last(), "   "));
    return text(run.figuresLine());
}

} // namespace

MeasuredWindow::MeasuredWindow(FrontPanel &panel, QWidget *parent)
    : RunWindow(panel, QStringLiteral("Stop the test and switch the input off (Escape)"), parent),
      m_meter(new meter::MeterThread(this))
{
    setObjectName(QStringLiteral("BatteryWindow"));
    setWindowTitle(QStringLiteral("Battery Test - RZ-417"));
    m_kinds = new QComboBox(this);
    m_kinds->setObjectName(QStringLiteral("Kind"));
    for (const kinds::Kind &kind : kinds::kinds())
        m_kinds->addItem(QString::fromLatin1(kind.title));
    m_figures = new QLabel(this);
    m_figures->setObjectName(QStringLiteral("Figures"));
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("Status"));
    m_status->setTextFormat(Qt::PlainText);
    m_status->setWordWrap(true);
    m_status->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layOut();
    const int kind = rememberedKind();
    m_kinds->setCurrentIndex(kind);
    choose(kind);
    connect(m_kinds, &QComboBox::currentIndexChanged, this, [this](int index) {
        // What was typed for the kind left is there when it is chosen again.
        m_fields->remember();
        QSettings().setValue(
            kKindKey, QString::fromLatin1(kinds::kinds()[static_cast<std::size_t>(index)].name));
        choose(index);
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
    connect(m_meter, &meter::MeterThread::opened, this, &MeasuredWindow::meterOpened);
    connect(m_meter, &meter::MeterThread::answered, this, &MeasuredWindow::meterAnswered);
    enableControls();
    resize(760, 620);
}

// The panel outlives this window; a test still running was stopped when the window closed.
MeasuredWindow::~MeasuredWindow() = default;

void MeasuredWindow::layOut()
{
    auto *kindRow = new QHBoxLayout;
    auto *kindLabel = new QLabel(QStringLiteral("&Kind"), this);
    kindLabel->setBuddy(m_kinds);
    kindRow->addWidget(kindLabel);
    kindRow->addWidget(m_kinds);
    kindRow->addStretch(1);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_figures, 1);
    buttons->addWidget(startButton());
    buttons->addWidget(stopButton());
    m_layout = new QVBoxLayout(this);
    m_layout->addLayout(kindRow);
    // The kind's fields go below its choice, and its plot below the buttons.
    m_layout->addLayout(buttons);
    m_layout->addWidget(m_status);
}

void MeasuredWindow::choose(int index)
{
    m_kind = &kinds::kinds()[static_cast<std::size_t>(index)];
    const KindView &view = kindView(*m_kind);
    // A widget deleted leaves its layout.
    delete m_fields;
    m_fields = new TestFields(m_kind->parameters, QString::fromLatin1(m_kind->name) + '/',
                              QString::fromLatin1(view.logCaption), this);
    m_layout->insertWidget(1, m_fields);
    if (m_plot)
        delete m_plot->widget();
    m_plot = view.makePlot(this);
    m_layout->insertWidget(3, m_plot->widget(), 1);
    m_figures->clear();
    setStatus(QString::fromLatin1(view.prompt));
    enableControls();
}

void MeasuredWindow::begin()
{
    std::string why;
    m_test = m_kind->read(m_fields->texts(), measure::Naming::Label, why);
    if (!m_test) {
        setStatus(sentence(why) + QStringLiteral("; nothing was sent."), true);
        return;
    }
    m_fields->remember();
    m_ready = m_test->makeRun(m_test->meter().has_value());
    if (!openLog(m_ready->logHeader()))
        return;
    m_plot->started(*m_ready);
    m_figures->clear();
    m_logLost.clear();
    m_shown = 0;
    m_identity.clear();
    if (!m_test->meter()) {
        startTest();
        return;
    }
    m_meter->open(*m_test->meter(), ++m_serial);
    setStatus(
        QStringLiteral("Asking the meter at %1 who it is...").arg(m_fields->lineText("meter")));
    setPreparing(true);
}

bool MeasuredWindow::openLog(const std::string &header)
{
    m_log.close();
    if (m_test->log().empty())
        return true;
    if (std::string why; !m_log.open(m_test->log(), header, why)) {
        setStatus(sentence(why) + QStringLiteral("; nothing was sent."), true);
        return false;
    }
    return true;
}

void MeasuredWindow::meterOpened(int serial, const std::optional<std::string> &identity,
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

void MeasuredWindow::startTest()
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
    m_onBefore = panel().load().inputMayBeOn || panel().state().OutputOn;
    m_onFrames = panel().load().inputOnFrames;
    // A frame that does not go out ends the test at once, through runningChanged.
    if (!startRun(std::make_unique<MeasuredPanelRun>(std::move(m_ready), kindView(*m_kind).running,
                                                     m_kind->name)))
        return;
    setStatus((m_identity.isEmpty() ? sentence(battery::kUnmeteredLine) + QLatin1Char('.')
                                    : sentence(measure::meterLine(m_identity.toStdString()))) +
              QStringLiteral("\nRunning; Stop, Output or Escape switches the input off."));
    // The first reading is due as the test starts.
    if (myRun()->metered())
        askMeter();
    else
        due();
}

void MeasuredWindow::due()
{
    reading(std::nullopt, {}, runClockNow());
    counted();
}

void MeasuredWindow::askMeter()
{
    const auto due = panel().runDue();
    if (!due || !running())
        return;
    // The meter's thread sends the query at its time; the window only waits for the answer,
    // and counts none that is a second overdue as no answer.
    m_asking = true;
    // The meter's thread waits on the steady clock; the run counts in its own.
    const auto left = *due - runClockNow();
    m_meter->ask(myRun()->query(), ++m_serial, std::chrono::steady_clock::now() + left);
    const auto overdue = std::chrono::ceil<std::chrono::milliseconds>(
        left + std::chrono::milliseconds(meter::kAnswerMs + 1000));
    m_silence.start(static_cast<int>(std::max<long long>(0, overdue.count())));
}

void MeasuredWindow::meterAnswered(int serial, const std::optional<std::string> &answer,
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

const measure::MeasuredRun *MeasuredWindow::myRun() const
{
    const auto *run = mine<MeasuredPanelRun>();
    return run ? &run->run() : nullptr;
}

void MeasuredWindow::reading(const std::optional<std::string> &answer, const std::string &why,
                             SteadyTime at)
{
    const MeterReading taken{answer, why};
    panel().stepRun(at, &taken);
}

void MeasuredWindow::counted()
{
    const measure::MeasuredRun *run = myRun();
    if (run && run->readings() > m_shown) {
        m_shown = run->readings();
        if (std::string why; m_log.isOpen() && !m_log.write(run->logRow(), why)) {
            // An unattended test whose log is lost ends, the input off first.
            m_log.close();
            if (running())
                panel().stopRun({measure::RunEnd::LogFailed, why});
            else
                m_logLost = why;
        }
        m_plot->counted(*run);
        m_figures->setText(figuresOf(*run));
    }
    if (!running())
        return;
    if (run->metered())
        askMeter();
    else
        scheduleDue();
}

void MeasuredWindow::finish()
{
    // The last reading, counted as the test ended, is logged and drawn after the input went off.
    counted();
    stopDue();
    m_silence.stop();
    m_asking = false;
    m_log.close();
    m_meter->close();
    const measure::MeasuredRun *run = myRun();
    const auto &end = panel().runEnd();
    if (!run || !end)
        return;
    const bool off = !panel().load().inputMayBeOn;
    // An input-on frame since the start, whole or cut, is what makes the off frame worth saying.
    const bool wasOn = m_onBefore || panel().load().inputOnFrames != m_onFrames;
    measure::RunEndWords words = run->endWords(*end, wasOn, off);
    words.logLost = m_logLost;
    QStringList shown;
    for (const std::string &line : measure::endLines(words))
        shown << sentence(line);
    // Stopped by hand is no problem once the input is off; every other failure is.
    const bool fine = measure::succeeded(words) || (end->end == measure::RunEnd::Interrupted &&
                                                    words.off && words.logLost.empty());
    setStatus(shown.join(QLatin1Char('\n')), !fine);
}

void MeasuredWindow::cancel()
{
    ++m_serial;
    m_log.close();
    m_meter->close();
    m_ready.reset();
    setStatus(QStringLiteral("Stopped before the input went on; nothing was sent."));
}

void MeasuredWindow::runChanged(bool running)
{
    if (!running)
        finish();
}

void MeasuredWindow::controlsChanged(bool busy)
{
    m_kinds->setEnabled(!busy);
    m_fields->setEditable(!busy);
}

void MeasuredWindow::setStatus(const QString &status, bool problem)
{
    m_status->setStyleSheet(problem ? QStringLiteral("color: #b00000") : QString());
    m_status->setText(status);
}

} // namespace rz417
