#pragma once

#include "panel/FrontPanel.h"
#include "window/RemoteControl.h"
#include "window/UIForm.h"

#include <QString>

#include <string>

namespace rz417 {

// The panel program: the panel's logic, its window, the journal it chose, remote control, and
// what it remembers of them from one run to the next (PanelSettings). The window draws the
// panel and hands the menu's choices of journal, program file and remote control back here.
class PanelApp
{
public:
    PanelApp(Platform &platform, CommControl &comm);
    ~PanelApp();
    PanelApp(const PanelApp &) = delete;
    PanelApp &operator=(const PanelApp &) = delete;

    // Runs start-up before the window is first shown; false when the program has been ended.
    bool load() { return m_panel.Form_Load(); }

    UIForm &form() { return m_form; }
    FrontPanel &panel() { return m_panel; }
    const FrontPanel &panel() const { return m_panel; }
    const RemoteControl &remote() const { return m_remote; }

    // File, Run Program...: a program file asked for, its folder remembered, and the file opened
    // in a program window.
    void chooseProgram();
    // File, Journal...: the journal switched off, or another file asked for; remembered.
    void chooseJournal();
    // The journal remembered from the last run, if any; a box says so when it cannot be opened.
    void restoreJournal();

    // File, Remote Control...: the dialog, and what it says used.
    void chooseRemote();
    // Remote control as remembered from the last run: listening again right after start-up, or
    // a box that says why it cannot.
    void restoreRemote();
    // Remote control on [ADDRESS:]TCPPORT with the watchdog's delay in seconds (empty: none), or
    // off; a box says why it cannot listen, or why the watchdog's delay is none (and then nothing
    // changes). Remembered.
    bool useRemote(bool accept, const QString &address, const QString &watchdog = {});
    // A box or dialog of the panel opens or closes: SCPI clients wait while one is open.
    void holdRemote(bool open) { m_remote.hold(open); }

    // Stops a running program or battery test and switches the input off; for the end of the
    // process.
    bool switchOffAtEnd() { return m_panel.switchOffAtEnd(); }

private:
    bool useJournal(const QString &path);
    // Remote control could not listen: off, and a box that says why.
    void remoteFailed(const std::string &why);

    Platform &m_platform;
    // Made first: the panel writes its captions to the window from its own construction on.
    UIForm m_form;
    FrontPanel m_panel;
    RemoteControl m_remote;
};

} // namespace rz417
