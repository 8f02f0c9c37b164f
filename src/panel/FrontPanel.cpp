#include "panel/FrontPanel.h"

#include "entry/Modes.h"
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
    const ModeTexts cv = modeTexts(ModeCodes::CV);
    m_captions.setCaption(Caption::ModeLabel, cv.unit);
    m_captions.setCaption(Caption::RangeLabel, cv.range);

    std::string portText = "No";
    for (int16_t n = 1; n <= kLastPort; ++n) {
        if (OpenCommPort(n, kLineSettings) <= 0)
            continue;
        portText = std::to_string(n);
        const BoxAnswer answer = m_platform.messageBox("Find Com " + portText + ", Using it?",
                                                       BoxStyle::YesNoQuestion, kStartupTitle);
        if (answer == BoxAnswer::Yes)
            break;
        CloseCommPort();
        portText = "No";
    }

    if (portText == "No") {
        m_platform.messageBox("No communication port can use!", BoxStyle::OkStop, kStartupTitle);
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

} // namespace rz417
