#pragma once

#include "panel/KeyRepeat.h"
#include "panel/Platform.h"

#include <QMainWindow>
#include <QPointer>

#include <optional>

class QAction;
class QLabel;
class QPushButton;
class QGroupBox;

namespace rz417 {

struct ButtonDef;
class MeasuredWindow;
class FrontPanel;
class PanelApp;
class ProgramWindow;

// The front panel window: the instrument's panel drawn at its own positions. It only forwards
// clicks and keys to the panel and menu choices to the app, writes the captions it is given, and
// places the program and measured test windows beside itself.
class UIForm : public QMainWindow, public CaptionSink
{
    Q_OBJECT

public:
    // The window of the app's panel, whose caption sink it is; made before the panel, which it
    // reaches only once both are made.
    explicit UIForm(PanelApp &app, QWidget *parent = nullptr);
    ~UIForm() override;

    void setCaption(Caption caption, const std::string &text) override;
    void setDescription(Caption caption, const std::string &text) override;
    void setJournalStatus(const std::string &path) override;
    void setRunning(bool running) override;
    void setRemote(RemoteState state) override;
    void setNotice(const std::string &text) override;
    // Remote control started or stopped: Go to Local is offered, and the title says where it
    // listens, as it now is.
    void showRemoteControl();

    // Opens a program file in a program window beside the panel.
    void openProgram(const QString &path);
    // Opens the measured test window (File, Battery Test...) beside the panel, or brings it back.
    void openMeasured();
    ProgramWindow *programWindow() const;
    MeasuredWindow *measuredWindow() const;

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
    FrontPanel &panel() const;
    // A second window beside the panel where there is room for it, never partly off the screen.
    void placeBeside(QWidget *window);
    void updateTitle();
    // The mode and digit buttons and Enter take clicks only in local and while no program runs.
    void enableEntry();
    QPushButton *button(const char *name) const;
    // A key's button shows pressed until the key is released, wherever the release goes.
    void holdDown(QPushButton *button, int key);
    void releaseHeld();

    PanelApp &m_app;
    QGroupBox *m_control = nullptr;
    QLabel *m_cValue = nullptr;
    QLabel *m_modeLabel = nullptr;
    QLabel *m_rangeLabel = nullptr;
    QPushButton *m_outputCommand = nullptr;
    QPointer<QPushButton> m_held;
    QPointer<ProgramWindow> m_programWindow;
    QPointer<MeasuredWindow> m_measuredWindow;
    QAction *m_runAction = nullptr;
    QAction *m_localAction = nullptr;
    QLabel *m_remoteIndicator = nullptr;
    std::string m_journalPath; // for the title; empty for none
    std::string m_notice;      // for the title: why the watchdog switched the input off
    int m_heldKey = 0;
    // On X, where a busy toolkit may miss a repeat; nothing elsewhere.
    std::optional<KeyRepeat> m_keyRepeat;
};

} // namespace rz417
