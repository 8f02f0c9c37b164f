#pragma once

#include <string>

namespace rz417 {

// Whether SCPI clients or the panel's own controls set the load: in remote the mode and digit
// buttons and Enter do nothing; with lockout Go to Local does nothing either.
enum class RemoteState { Local, Remote, Lockout };

// The four captions that change while the program runs.
enum class Caption { CValue, ModeLabel, RangeLabel, OutputCommand };

// Message box styles; the values are those of the classic message box API.
enum class BoxStyle : int {
    OkStop = 16,
    YesNoQuestion = 36, // Yes is the default button
    OkExclamation = 48,
    OkInformation = 64,
};

enum class BoxAnswer { Ok, Yes, No };

// Where captions are written. Captions are never read back.
class CaptionSink
{
public:
    virtual ~CaptionSink() = default;
    virtual void setCaption(Caption caption, const std::string &text) = 0;
    // What assistive technology says a control holds ("Setpoint in volts"); never shown.
    virtual void setDescription(Caption caption, const std::string &text) = 0;
    // The journal every frame goes to, or empty for none.
    virtual void setJournalStatus(const std::string &path) = 0;
    // A program or a battery test started or ended: the mode and digit buttons and Enter take no
    // clicks meanwhile.
    virtual void setRunning(bool running) = 0;
    // The panel went to remote (the RMT indicator shows) or back to local.
    virtual void setRemote(RemoteState state) = 0;
    // What the panel says without a box, which would hold the SCPI clients: why the watchdog
    // switched the input off. Empty once the input went on again.
    virtual void setNotice(const std::string &text) { static_cast<void>(text); }
};

// Modal message boxes, lines for a user who started the program from a terminal, and the
// immediate end of the program.
class Platform
{
public:
    virtual ~Platform() = default;
    // detail: further lines under the text (empty for none); the text itself stays as given.
    virtual BoxAnswer messageBox(const std::string &text, BoxStyle style, const std::string &title,
                                 const std::string &detail = {}) = 0;
    // One line on standard error.
    virtual void diagnostic(const std::string &line) = 0;
    // Ends the program at once. A real platform does not return; a test double records the call
    // and returns, so callers must do nothing after it.
    virtual void endProgram() = 0;
};

} // namespace rz417
