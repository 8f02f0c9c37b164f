#pragma once

#include "link/CommControl.h"
#include "panel/PanelState.h"
#include "panel/Platform.h"

#include <cstdint>
#include <string>

namespace rz417 {

// The panel's logic: the state every handler shares, one handler per user action, and the
// routines that reach the instrument. It touches the platform only through the caption sink, the
// message boxes and program end, and the serial control's four properties.
class FrontPanel
{
public:
    FrontPanel(CaptionSink &captions, Platform &platform, CommControl &comm);

    const PanelState &state() const { return m_state; }

    // Start-up: resets the state, scans ports 1 to 16 and keeps the one the user accepts.
    // Returns false when no port was accepted; the program has then been ended.
    bool Form_Load();

    void CVCommand_Click() { selectMode(ModeCodes::CV); }
    void CCCommand_Click() { selectMode(ModeCodes::CC); }
    void CPCommand_Click() { selectMode(ModeCodes::CP); }
    void CRCommand_Click() { selectMode(ModeCodes::CR); }

    void ZeroCommand_Click() { keyDigit(0); }
    void OneCommand_Click() { keyDigit(1); }
    void TwoCommand_Click() { keyDigit(2); }
    void ThreeCommand_Click() { keyDigit(3); }
    void FourCommand_Click() { keyDigit(4); }
    void FiveCommand_Click() { keyDigit(5); }
    void SixCommand_Click() { keyDigit(6); }
    void SevenCommand_Click() { keyDigit(7); }
    void EightCommand_Click() { keyDigit(8); }
    void NineCommand_Click() { keyDigit(9); }

    void EnterCommand_Click();
    void OutputCommand_Click();

    void Exit_Click();
    void About_Click();

    // Escape does what a click on Output does, but only when that switches the input off.
    bool escapeActs() const { return m_state.OutputOn; }

    // Builds the frame of selector Ch and writes it. A write that fails is reported in an error
    // box; the sent value is recorded only when the frame went out. Returns whether it did.
    bool DataTransfer(int16_t Ch);

    // Returns the port number when the port opened, 0 when any step failed; never shows anything.
    // Why a device that exists was refused is kept for start-up (lastRefusal()).
    int16_t OpenCommPort(int16_t port, const std::string &settings);
    const std::string &lastRefusal() const { return m_lastRefusal; }
    void CloseCommPort();
    void ShowCommError(int16_t code);

private:
    void selectMode(int16_t mode);
    void keyDigit(int digit);
    void showModeTexts(int16_t mode);

    PanelState m_state;
    CaptionSink &m_captions;
    Platform &m_platform;
    CommControl &m_comm;
    std::string m_lastRefusal;
};

} // namespace rz417
