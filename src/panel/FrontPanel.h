#pragma once

#include "frames/FramePath.h"
#include "link/CommControl.h"
#include "panel/PanelRun.h"
#include "panel/PanelState.h"
#include "panel/Platform.h"
#include "program/Journal.h"
#include "program/ProgramRun.h"
#include "scpi/Load.h"

#include <cstdint>
#include <memory>
#include <optional>
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

    // Escape is the emergency stop: it stops a running program or battery test, or switches off
    // an input that is on or may be on (a cut input-on frame); otherwise it does nothing.
    bool escapeActs() const
    {
        return m_state.OutputOn || m_frames.load().inputMayBeOn || runActive();
    }
    void Escape_Press();

    // File, Go to Local, and the key L: back to local, unless a client locked the panel out.
    void GoToLocal_Click();

    // Remote control: SCPI clients drive the load through this panel's own state and frame
    // path, between the panel's handlers. The mode and digit buttons and Enter act only in
    // local and while no program runs; Output stays live.
    RemoteState remoteState() const { return m_remote; }
    bool entryLive() const { return m_remote == RemoteState::Local && !runActive(); }
    // A client's frame, journaled with the client's address. Any takes the panel to remote;
    // when it went out the panel shows it as after a program step. The line's error text when
    // it did not go out, and no box.
    std::string sendRemote(const std::string &frame, const std::string &meaning,
                           const std::string &client);
    // SYSTem:REMote, SYSTem:RWLock, SYSTem:LOCal.
    void remoteRequest(scpi::RemoteRequest request);
    // The last client went: back to local; the load stays as it is.
    void clientsGone();
    // The SCPI watchdog tripped: its input-off frame goes out (journaled with the meaning, source
    // scpi) whatever the panel shows, a run stops as at Output, and the window says why; no box.
    // The line's error text when the frame did not go out.
    std::string watchdogOff(const std::string &meaning, const std::string &why);
    // What the load was last sent, whoever sent it.
    const LoadRecord &load() const { return m_frames.load(); }
    // Told whenever the input's "may be on" changes (FramePath::setInputWatch).
    void setInputWatch(std::function<void(bool)> watch)
    {
        m_frames.setInputWatch(std::move(watch));
    }

    // The journal that records every frame sent, from a key, a click or a program; nothing for
    // none. One that cannot be written is reported once and switched off.
    void setJournal(std::unique_ptr<Journal> journal);
    const Journal *journal() const { return m_journal.get(); }

    // Runs a program or a test on this panel's line, at most one at a time: what it sends first
    // goes out now and the panel shows it. The caller's timer steps it when runDue() says, with
    // the meter's reading for a run that reads one. While it runs, the mode and digit buttons
    // and Enter do nothing. False when it did not start: in remote, beside another run, or a
    // frame that did not go out (a box says so).
    bool startRun(std::unique_ptr<PanelRun> run, Clock &clock);
    // The step due at now, or the reading taken at now (when the meter answered). A run that
    // ends (a stop met, a frame or the meter failed) switches the input off before anything
    // else, where it asks to, and always after a failure.
    void stepRun(SteadyTime now, const MeterReading *reading = nullptr);
    // Ends the run, the input switched off first: by hand (Stop, Output, Escape, Exit, a signal),
    // or for a reason of the window's (a log that cannot be written).
    void stopRun(const measure::RunResult &end = {measure::RunEnd::Interrupted, {}});
    bool runActive() const { return m_run && !m_runEnd; }
    std::optional<SteadyTime> runDue() const;
    // The last run, running or ended, and how it ended; runNumber() counts the runs started, so
    // that a window knows the run as its own.
    const PanelRun *run() const { return m_run.get(); }
    unsigned runNumber() const { return m_runs; }
    const std::optional<measure::RunResult> &runEnd() const { return m_runEnd; }

    // A signal ends the process: whatever runs stops, and an input that is or may be on goes
    // off, switched on by hand too (Exit leaves that as it is). False when it may still be on.
    bool switchOffAtEnd();

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
    // Writes a frame to the line and journals it; the control's error when the write failed.
    std::optional<CommError> writeFrame(const std::string &frame, const std::string &meaning,
                                        const FrameSource &from);
    void journalFailed(const std::string &error);
    // A run's frame: written, journaled, and shown once it went out.
    std::string sendRunFrame(const std::string &frame, const std::string &meaning,
                             const FrameSource &from, const std::optional<FrameEffect> &shown);
    // The panel holds a setpoint the load was sent, as if keyed and sent.
    void showSetpoint(int16_t mode, int32_t value);
    void showInput(bool on);
    // After a write of an input frame failed: the caption shows what may be true.
    void showInputMayBeOn();
    // Shows what a frame that went out did to the load.
    void showEffect(const FrameEffect &effect);
    // Sends the input-off frame, showing it when it went out whole; its error when it did not.
    std::optional<CommError> switchInputOff(const FrameSource &from);
    // The run ended: the input off first where it must be, then the run's end shown.
    void endRun(const measure::RunResult &result, bool fromOutside);
    void setRemoteState(RemoteState state);
    void programEnded();

    class Line;

    PanelState m_state;
    CaptionSink &m_captions;
    Platform &m_platform;
    CommControl &m_comm;
    std::string m_lastRefusal;
    std::unique_ptr<Journal> m_journal;
    FramePath m_frames;
    std::unique_ptr<PanelRun> m_run;
    std::optional<measure::RunResult> m_runEnd;
    std::optional<CommError> m_runError; // the run's last frame that did not go out
    unsigned m_runs = 0;
    RemoteState m_remote = RemoteState::Local;
    bool m_notice = false; // the window says why the watchdog switched the input off
};

} // namespace rz417
