#include "panel/FrontPanel.h"

#include "link/CommErrorText.h"
#include "link/LineSettings.h"
#include "panel/FrameEncoder.h"
#include "panel/Keypad.h"
#include "panel/ModeTexts.h"
#include "panel/SetpointText.h"
#include "protocol/Frame.h"
#include "protocol/Identity.h"

namespace rz417 {

// Hands a run's frames to the panel.
class FrontPanel::Line : public RunLine
{
public:
    explicit Line(FrontPanel &panel) : m_panel(panel) {}
    std::string send(const std::string &frame, const std::string &meaning, const FrameSource &from,
                     const std::optional<FrameEffect> &shown) override
    {
        return m_panel.sendRunFrame(frame, meaning, from, shown);
    }

private:
    FrontPanel &m_panel;
};

namespace {
constexpr const char *kStartupTitle = "Electronic Load";
constexpr int16_t kLastPort = 16;
} // namespace

FrontPanel::FrontPanel(CaptionSink &captions, Platform &platform, CommControl &comm)
    : m_captions(captions), m_platform(platform), m_comm(comm), m_frames(&comm)
{
    // What the window says of a watchdog's trip stands until the input goes on again.
    m_frames.setObserver([this](const SentFrame &sent) {
        if (m_notice && sent.frame == inputFrame(true)) {
            m_notice = false;
            m_captions.setNotice({});
        }
    });
}

bool FrontPanel::Form_Load()
{
    m_state = PanelState{};
    showModeTexts(ModeCodes::CV);

    std::string portText = "No";
    // Devices that exist but would not open, and why: on standard error at once, and under the
    // no-port box, so that a user can act on them.
    std::string refusals;
    for (int16_t n = 1; n <= kLastPort; ++n) {
        if (OpenCommPort(n, kLoadLineSettings) <= 0) {
            if (!m_lastRefusal.empty()) {
                m_platform.diagnostic(m_lastRefusal);
                refusals += (refusals.empty() ? "" : "\n") + m_lastRefusal;
            }
            continue;
        }
        portText = std::to_string(n);
        const BoxAnswer answer = m_platform.messageBox("Find Com " + portText + ", Using it?",
                                                       BoxStyle::YesNoQuestion, kStartupTitle);
        if (answer == BoxAnswer::Yes)
            break;
        CloseCommPort();
        portText = "No";
    }

    if (portText == "No") {
        m_platform.messageBox("No communication port can use!", BoxStyle::OkStop, kStartupTitle,
                              refusals);
        m_platform.endProgram();
        return false;
    }
    m_platform.messageBox("Using COM" + portText + ":", BoxStyle::OkInformation, kStartupTitle);
    return true;
}

void FrontPanel::Exit_Click()
{
    stopRun();
    m_platform.endProgram();
}

void FrontPanel::About_Click()
{
    const std::string text = std::string(identity::kProduct) + "\nVersion " + identity::kVersion +
                             "\n" + identity::kCompany;
    m_platform.messageBox(text, BoxStyle::OkInformation, "RZ-417 Information");
}

int16_t FrontPanel::OpenCommPort(int16_t port, const std::string &settings)
{
    m_lastRefusal.clear();
    try {
        m_comm.setCommPort(port);
        m_comm.setSettings(settings);
        m_comm.setPortOpen(true);
    } catch (const CommError &error) {
        // Any refusal means "no usable port at this number"; the caller moves on.
        m_lastRefusal = error.refusal();
        return 0;
    }
    return port;
}

void FrontPanel::CloseCommPort()
{
    try {
        m_comm.setPortOpen(false);
    } catch (const CommError &error) {
        ShowCommError(error.code());
    }
}

void FrontPanel::ShowCommError(int16_t code)
{
    m_platform.messageBox(commErrorText(code), BoxStyle::OkExclamation, kCommErrorTitle);
}

bool FrontPanel::DataTransfer(int16_t Ch)
{
    const std::string frame = encodeFrame(Ch, m_state);
    if (const auto failed = writeFrame(frame, frameMeaning(Ch, m_state), {"panel"})) {
        ShowCommError(failed->code());
        return false;
    }
    // Only a value that reached the line may come back with a mode button.
    recordSent(Ch, m_state);
    return !frame.empty();
}

std::optional<CommError> FrontPanel::writeFrame(const std::string &frame,
                                                const std::string &meaning, const FrameSource &from)
{
    const FramePath::Result result = m_frames.send(frame, meaning, from);
    if (!result.journalError.empty())
        journalFailed(result.journalError);
    return result.failure;
}

void FrontPanel::showModeTexts(int16_t mode)
{
    const ModeTexts texts = modeTexts(mode);
    m_captions.setCaption(Caption::ModeLabel, texts.unit);
    m_captions.setCaption(Caption::RangeLabel, texts.range);
    const std::string description = std::string("Setpoint in ") + texts.quantity;
    m_captions.setDescription(Caption::CValue, description);
    m_captions.setDescription(Caption::ModeLabel, description);
}

void FrontPanel::selectMode(int16_t mode)
{
    if (!entryLive())
        return;
    m_state.ModeCode = mode;
    showModeTexts(mode);
    m_captions.setCaption(Caption::OutputCommand, kOutputOffCaption);
    m_state.OutputOn = false;
    setEntry(m_state, mode, sentOf(m_state, mode));
    m_state.EntryDone = true;
    m_captions.setCaption(Caption::CValue, modeButtonText(mode, entryOf(m_state, mode)));
}

void FrontPanel::keyDigit(int digit)
{
    if (!entryLive())
        return;
    if (const auto text = rz417::keyDigit(m_state, digit))
        m_captions.setCaption(Caption::CValue, *text);
}

void FrontPanel::EnterCommand_Click()
{
    if (!entryLive())
        return;
    DataTransfer(m_state.ModeCode);
    m_state.EntryDone = true;
}

void FrontPanel::OutputCommand_Click()
{
    // During a program or a battery test, Output is the emergency stop.
    if (runActive()) {
        stopRun();
        return;
    }
    const bool wasOn = m_state.OutputOn;
    m_state.OutputOn = !wasOn;
    m_captions.setCaption(Caption::OutputCommand, wasOn ? kOutputOffCaption : kOutputOnCaption);
    if (!DataTransfer(kOutputSelector))
        showInputMayBeOn();
}

void FrontPanel::Escape_Press()
{
    if (runActive()) {
        stopRun();
        return;
    }
    if (!escapeActs())
        return;
    // After a mode button OutputOn is false while the input may be on: a click of Output would
    // switch it on, so Escape sends the off frame itself.
    m_state.OutputOn = false;
    m_captions.setCaption(Caption::OutputCommand, kOutputOffCaption);
    if (!DataTransfer(kOutputSelector))
        showInputMayBeOn();
}

void FrontPanel::showInputMayBeOn()
{
    // An input frame that did not go out whole: an on frame may have reached the load, an off
    // frame may not have, and the caption must not claim the input off.
    showInput(m_frames.load().inputMayBeOn);
}

void FrontPanel::setJournal(std::unique_ptr<Journal> journal)
{
    m_journal = std::move(journal);
    m_frames.setJournal(m_journal.get(), FramePath::FailureText::WithCause);
    m_captions.setJournalStatus(m_journal ? m_journal->path() : std::string());
}

void FrontPanel::journalFailed(const std::string &error)
{
    // Told once; the panel keeps working without it.
    setJournal(nullptr);
    m_platform.messageBox("The journal is off: " + error + ".", BoxStyle::OkExclamation,
                          kStartupTitle);
}

bool FrontPanel::startRun(std::unique_ptr<PanelRun> run, Clock &clock)
{
    if (runActive() || m_remote != RemoteState::Local || !run)
        return false;
    m_run = std::move(run);
    ++m_runs;
    m_runEnd.reset();
    m_runError.reset();
    m_captions.setRunning(true);
    Line line(*this);
    if (const auto failed = m_run->begin(line, clock)) {
        endRun(*failed, false);
        return false;
    }
    return true;
}

void FrontPanel::stepRun(SteadyTime now, const MeterReading *reading)
{
    if (!runActive())
        return;
    Line line(*this);
    if (const auto end = m_run->step(line, now, reading))
        endRun(*end, false);
}

void FrontPanel::stopRun(const measure::RunResult &end)
{
    if (!runActive())
        return;
    m_run->stop();
    endRun(end, true);
}

std::optional<SteadyTime> FrontPanel::runDue() const
{
    if (!runActive())
        return std::nullopt;
    return m_run->nextDue();
}

void FrontPanel::endRun(const measure::RunResult &result, bool fromOutside)
{
    m_runEnd = result;
    // The input goes off before anything else happens, the end of the run shown included: at
    // every stop from outside, after every failure (a cut input-on frame may still have reached
    // the load), and at an end of the run's own where it asks.
    const bool mayBeOn = m_frames.load().inputMayBeOn || m_state.OutputOn;
    std::optional<CommError> offFailed;
    const bool ownEnd = result.end == measure::RunEnd::Stopped && !m_run->offWhenDone();
    if (fromOutside ? mayBeOn || m_run->offAtEveryStop() : mayBeOn && !ownEnd)
        offFailed = switchInputOff(m_run->offSource());
    programEnded();
    // The run has ended before a box shows, so no timer can send behind it.
    const bool lineFailed = result.end == measure::RunEnd::LineFailed && m_runError;
    if (lineFailed)
        ShowCommError(m_runError->code());
    if (offFailed && (!lineFailed || offFailed->code() != m_runError->code()))
        ShowCommError(offFailed->code());
}

std::optional<CommError> FrontPanel::switchInputOff(const FrameSource &from)
{
    m_state.OutputOn = false;
    m_captions.setCaption(Caption::OutputCommand, kOutputOffCaption);
    const auto failed = writeFrame(inputFrame(false), inputMeaning(false), from);
    if (failed)
        showInputMayBeOn();
    return failed;
}

bool FrontPanel::switchOffAtEnd()
{
    stopRun();
    if (!m_frames.load().inputMayBeOn && !m_state.OutputOn)
        return true;
    return !switchInputOff({"panel"});
}

void FrontPanel::programEnded()
{
    m_captions.setRunning(false);
}

std::string FrontPanel::sendRunFrame(const std::string &frame, const std::string &meaning,
                                     const FrameSource &from,
                                     const std::optional<FrameEffect> &shown)
{
    m_runError = writeFrame(frame, meaning, from);
    if (m_runError)
        return commErrorText(m_runError->code());
    if (shown)
        showEffect(*shown);
    else if (const auto effect = frameEffect(frame))
        showEffect(*effect);
    return {};
}

void FrontPanel::showInput(bool on)
{
    m_state.OutputOn = on;
    m_captions.setCaption(Caption::OutputCommand, on ? kOutputOnCaption : kOutputOffCaption);
}

void FrontPanel::showSetpoint(int16_t mode, int32_t value)
{
    // The panel now holds what the instrument was told, as if keyed and sent. It does not touch
    // the input, which the instrument keeps as it was.
    m_state.ModeCode = mode;
    setEntry(m_state, mode, value);
    setSent(m_state, mode, value);
    m_state.EntryDone = true;
    showModeTexts(mode);
    m_captions.setCaption(Caption::CValue, modeButtonText(mode, value));
}

void FrontPanel::GoToLocal_Click()
{
    if (m_remote == RemoteState::Remote)
        setRemoteState(RemoteState::Local);
}

void FrontPanel::setRemoteState(RemoteState state)
{
    if (state == m_remote)
        return;
    m_remote = state;
    m_captions.setRemote(state);
}

std::string FrontPanel::sendRemote(const std::string &frame, const std::string &meaning,
                                   const std::string &client)
{
    // A client that sets something takes the panel to remote.
    if (m_remote == RemoteState::Local)
        setRemoteState(RemoteState::Remote);
    const FramePath::Result result = m_frames.send(frame, meaning, {"scpi", 0, 0, client});
    if (!result.journalError.empty())
        journalFailed(result.journalError);
    if (result.failure) {
        if (const auto effect = frameEffect(frame); effect && effect->mode == 0)
            showInputMayBeOn();
        return commErrorText(result.failure->code());
    }
    if (const auto effect = frameEffect(frame))
        showEffect(*effect);
    return {};
}

void FrontPanel::showEffect(const FrameEffect &effect)
{
    if (effect.mode == 0)
        showInput(effect.inputOn);
    else
        showSetpoint(effect.mode, effect.value);
}

void FrontPanel::remoteRequest(scpi::RemoteRequest request)
{
    switch (request) {
    case scpi::RemoteRequest::Remote:
        setRemoteState(RemoteState::Remote);
        break;
    case scpi::RemoteRequest::RemoteWithLockout:
        setRemoteState(RemoteState::Lockout);
        break;
    case scpi::RemoteRequest::Local:
        setRemoteState(RemoteState::Local);
        break;
    }
}

void FrontPanel::clientsGone()
{
    setRemoteState(RemoteState::Local);
}

std::string FrontPanel::watchdogOff(const std::string &meaning, const std::string &why)
{
    const FramePath::Result result = m_frames.send(inputFrame(false), meaning, {"scpi"});
    std::string notice = "watchdog: " + why;
    if (result.failure) {
        notice += ", input off did not go out (" + commErrorText(result.failure->code()) + ")";
    } else {
        showInput(false);
        notice += ", input switched off";
    }
    if (!result.journalError.empty()) {
        // Said here, not in the usual box, which would hold the clients.
        setJournal(nullptr);
        notice += "; the journal is off: " + result.journalError;
    }
    m_notice = true;
    m_captions.setNotice(notice);
    m_platform.diagnostic("remote control: " + notice);
    // A run stops as at Output; once that frame went out its own stop finds nothing on.
    if (runActive())
        stopRun();
    return result.failure ? commErrorText(result.failure->code()) : std::string();
}

} // namespace rz417
