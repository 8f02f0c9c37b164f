#include "panel/FrontPanel.h"

#include "entry/Keypad.h"
#include "entry/Modes.h"
#include "entry/SetpointText.h"
#include "link/CommErrorText.h"
#include "panel/FrameEncoder.h"
#include "panel/Identity.h"

namespace rz417 {

namespace {
constexpr const char *kStartupTitle = "Electronic Load";
constexpr const char *kLineSettings = "115200 N 8 1";
constexpr int16_t kLastPort = 16;
} // namespace

FrontPanel::FrontPanel(CaptionSink &captions, Platform &platform, CommControl &comm)
    : m_captions(captions), m_platform(platform), m_comm(comm)
{
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
        if (OpenCommPort(n, kLineSettings) <= 0) {
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
    try {
        m_comm.setOutput(frame);
    } catch (const CommError &error) {
        ShowCommError(error.code());
        return false;
    }
    // Only a value that reached the line may come back with a mode button.
    recordSent(Ch, m_state);
    return !frame.empty();
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
    if (const auto text = rz417::keyDigit(m_state, digit))
        m_captions.setCaption(Caption::CValue, *text);
}

void FrontPanel::EnterCommand_Click()
{
    DataTransfer(m_state.ModeCode);
    m_state.EntryDone = true;
}

void FrontPanel::OutputCommand_Click()
{
    const bool wasOn = m_state.OutputOn;
    m_state.OutputOn = !wasOn;
    m_captions.setCaption(Caption::OutputCommand, wasOn ? kOutputOffCaption : kOutputOnCaption);
    if (!DataTransfer(kOutputSelector)) {
        // The instrument was not told, so the panel must not claim the new state.
        m_state.OutputOn = wasOn;
        m_captions.setCaption(Caption::OutputCommand, wasOn ? kOutputOnCaption : kOutputOffCaption);
    }
}

} // namespace rz417
