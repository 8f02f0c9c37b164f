// The handlers of the mode buttons, the digit keys, Enter and the output button.
#include "entry/Keypad.h"
#include "entry/Modes.h"
#include "entry/SetpointText.h"
#include "panel/FrontPanel.h"

namespace rz417 {

void FrontPanel::selectMode(int16_t mode)
{
    m_state.ModeCode = mode;
    const ModeTexts texts = modeTexts(mode);
    m_captions.setCaption(Caption::ModeLabel, texts.unit);
    m_captions.setCaption(Caption::RangeLabel, texts.range);
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
        m_captions.setCaption(Caption::OutputCommand,
                              wasOn ? kOutputOnCaption : kOutputOffCaption);
    }
}

} // namespace rz417
