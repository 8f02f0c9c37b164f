#pragma once

#include "panel/FrontPanel.h"
#include "panel/KeyRepeat.h"
#include "panel/Platform.h"

#include <QMainWindow>
#include <QPointer>

#include <memory>
#include <optional>

class QAction;
class QLabel;
class QPushButton;
class QGroupBox;

namespace rz417 {

struct ButtonDef;
class BatteryWindow;
class ProgramWindow;
class RemoteControl;

// The front panel window: the instrument's panel drawn at its own positions. It only forwards
// clicks to FrontPanel and writes the captions it is given.
class UIForm : public QMainWindow, public CaptionSink
{
    Q_OBJECT

public:
    UIForm(Platform &platform, CommControl &comm, QWidget *parent = nullptr);
    ~UIForm() override;

    // Runs start-up before the window is first shown; false when the program has been ended.
    bool load();

    void setCaption(Caption caption, const std::string &text) override;
    void setDescription(Caption caption, const std::string &text) override;
    void setJournalStatus(const std::string &path) override;
    void setRunning(bool running) override;
    void setRemote(RemoteState state) override;
    void setNotice(const std::string &text) override;

    // Opens a program file in a program window beside the panel.
    void openProgram(const QString &path);
    // The journal remembered from the last run, if any; a box says so when it cannot be opened.
    void restoreJournal();
    // Remote control as remembered from the last run: listening again right after start-up, or
    // a box that says why it cannot.
    void restoreRemote();
    // Remote control on [ADDRESS:]TCPPORT with the watchdog's delay in seconds (empty: none), or
    // off; a box says why it cannot listen, or why the watchdog's delay is none (and then nothing
    // changes). Remembered.
    bool useRemote(bool accept, const QString &address, const QString &watchdog = {});
    // A box or dialog of the panel opens or closes: SCPI clients wait while one is open.
    void holdRemote(bool open);
    const RemoteControl &remote() const { return *m_remote; }
    // Opens the battery test window beside the panel, or brings it back.
    void openBattery();
    // Stops a running program or battery test and switches the input off; for the end of the
    // process.
    void stopRuns() { m_panel.stopRun(); }
    bool switchOffAtEnd() { return m_panel.switchOffAtEnd(); }
    FrontPanel &panel() { return m_panel; }
    ProgramWindow *programWindow() const;
    BatteryWindow *batteryWindow() const;

    const FrontPanel &panel() const { return m_panel; }

    // Twips of the panel's layout to pixels at 96 dpi.
    static constexpr int twips(int value) { return value / 15; }

signals:
    void runningChanged(bool running);
    void remoteChanged();

protected:
    void closeEvent(QCloseEvent *event) override;
    // The panel's keys: each clicks its button, so it runs the same handler as a click.
    void keyPressEvent(QKeyEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    QPushButton *addButton(const ButtonDef &def);
    QLabel *addLabel(const char *name, const QString &caption, int left, int top, int width,
                     int height);
    void buildMenu();
    void chooseProgram();
    void chooseJournal();
    bool useJournal(const QString &path);
    void chooseRemote();
    // A second window beside the panel where there is room for it, never partly off the screen.
    void placeBeside(QWidget *window);
    void updateTitle();
    // The mode and digit buttons and Enter take clicks only in local and while no program runs.
    void enableEntry();
    QPushButton *button(const char *name) const;
    // A key's button shows pressed until the key is released, wherever the release goes.
    void holdDown(QPushButton *button, int key);
    void releaseHeld();

    Platform &m_platform;
    FrontPanel m_panel;
    QGroupBox *m_control = nullptr;
    QLabel *m_cValue = nullptr;
    QLabel *m_modeLabel = nullptr;
    QLabel *m_rangeLabel = nullptr;
    QPushButton *m_outputCommand = nullptr;
    QPointer<QPushButton> m_held;
    QPointer<ProgramWindow> m_programWindow;
    QPointer<BatteryWindow> m_batteryWindow;
    QAction *m_runAction = nullptr;
    QAction *m_localAction = nullptr;
    QLabel *m_remoteIndicator = nullptr;
    std::unique_ptr<RemoteControl> m_remote;
    std::string m_journalPath; // for the title; empty for none
    std::string m_notice;      // for the title: why the watchdog switched the input off
    int m_heldKey = 0;
    // On X, where a busy toolkit may miss a repeat; nothing elsewhere.
    std::optional<KeyRepeat> m_keyRepeat;
};

} // namespace rz417
