// The window's routines that reach the serial control.
#include "link/CommErrorText.h"
#include "link/FrameEncoder.h"
#include "panel/FrontPanel.h"

namespace rz417 {

int16_t FrontPanel::OpenCommPort(int16_t port, const std::string &settings)
{
    try {
        m_comm.setCommPort(port);
        m_comm.setSettings(settings);
        m_comm.setPortOpen(true);
    } catch (const CommError &) {
        // Any refusal means "no usable port at this number"; the caller moves on.
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

} // namespace rz417
