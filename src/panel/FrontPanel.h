#pragma once

#include "battery/BatteryRun.h"
#include "frames/FramePath.h"
#include "link/CommControl.h"
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

    // Runs a checked program (passes 0: until stopped) on this panel's line from now on. The
    // caller's timer calls advanceProgram when nextDue() says. After each step the panel shows
    // and holds what was sent; the mode and digit buttons and Enter do nothing meanwhile.
    void startProgram(std::shared_ptr<const Program> program, int passes, SteadyTime now);
    // Sends the steps due at now. A failed write ends the run and shows the error box.
    void advanceProgram(SteadyTime now);
    // Ends a running program and switches the input off, before anything else happens.
    void stopProgram();
    bool programRunning() const { return m_run && m_run->running(); }
    const ProgramRun *programRun() const { return m_run.get(); }

    // Runs a battery test on this panel's line, as a program runs: its setpoint and the input on
    // go out now, and the panel shows them; the clock times the readings from then. The caller's
    // timer takes each reading when batteryDue() says and hands the meter's answer to
    // batteryReading. False when it did not start: in remote, beside another run, or a frame
    // that did not go out (a box says so).
    bool startBattery(std::unique_ptr<battery::DischargeRun> run, Clock &clock);
    // Counts the reading taken at `at` (when the meter answered); a stop that is met, or a meter
    // that failed, ends the test with the input switched off before anything else.
    void batteryReading(const std::optional<std::string> &answer, const std::string &why,
                        SteadyTime at);
    // Ends a running battery test, the input switched off first: by hand (Stop, Output, Escape,
    // Exit, a signal), or for a reason of the window's (a log that cannot be written).
    void stopBattery(const battery::DischargeResult &end = {battery::DischargeEnd::Interrupted,
                                                            {}});
    bool batteryRunning() const { return m_battery && !m_batteryEnd; }
    std::optional<SteadyTime> batteryDue() const;
    // The last battery test, running or ended, and how it ended.
    const battery::DischargeRun *batteryRun() const { return m_battery.get(); }
    const std::optional<battery::DischargeResult> &batteryEnd() const { return m_batteryEnd; }

    bool runActive() const { return programRunning() || batteryRunning(); }
    // Ends whatever runs, the input switched off first; for Exit and the end of the process.
    void stopRuns();
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
    std::string sendProgramFrame(const ProgramStep &step, std::size_t index,
                                 const StepFrame &frame);
    void showProgramFrame(const ProgramStep &step, const StepFrame &frame);
    // The panel holds a setpoint the load was sent, as if keyed and sent.
    void showSetpoint(int16_t mode, int32_t value);
    void showInput(bool on);
    // After a write of an input frame failed: the caption shows what may be true.
    void showInputMayBeOn();
    // Shows what a frame that went out did to the load.
    void showEffect(const std::string &frame);
    // Sends the input-off frame, showing it when it went out whole; its error when it did not.
    std::optional<CommError> switchInputOff(const FrameSource &from);
    void endBattery(const battery::DischargeResult &result);
    void setRemoteState(RemoteState state);
    void programEnded();

    class ProgramSender;
    class BatterySender;

    PanelState m_state;
    CaptionSink &m_captions;
    Platform &m_platform;
    CommControl &m_comm;
    std::string m_lastRefusal;
    std::unique_ptr<Journal> m_journal;
    FramePath m_frames;
    std::shared_ptr<const Program> m_program;
    std::unique_ptr<ProgramRun> m_run;
    std::optional<CommError> m_programError;
    std::unique_ptr<battery::DischargeRun> m_battery;
    SteadyTime m_batteryStart{};
    std::optional<battery::DischargeResult> m_batteryEnd;
    std::optional<CommError> m_batteryError;
    RemoteState m_remote = RemoteState::Local;
    bool m_notice = false; // the window says why the watchdog switched the input off
};

} // namespace rz417
