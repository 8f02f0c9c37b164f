#pragma once

#include "panel/FrontPanel.h"
#include "panel/Platform.h"

#include <QMainWindow>

class QLabel;
class QPushButton;
class QGroupBox;

namespace rz417 {

// The front panel window: the instrument's panel drawn at its own positions. It only forwards
// clicks to FrontPanel and writes the captions it is given.
class UIForm : public QMainWindow, public CaptionSink
{
    Q_OBJECT

public:
    UIForm(Platform &platform, CommControl &comm, QWidget *parent = nullptr);

    // Runs start-up before the window is first shown; false when the program has been ended.
    bool load();

    void setCaption(Caption caption, const std::string &text) override;

    const FrontPanel &panel() const { return m_panel; }

    // Twips of the panel's layout to pixels at 96 dpi.
    static constexpr int twips(int value) { return value / 15; }

private:
    QPushButton *addButton(const char *name, const char *caption, int left, int top, int width,
                           int height, void (FrontPanel::*handler)());
    QLabel *addLabel(const char *name, const QString &caption, int left, int top, int width,
                     int height);
    void buildMenu();

    FrontPanel m_panel;
    QGroupBox *m_control = nullptr;
    QLabel *m_cValue = nullptr;
    QLabel *m_modeLabel = nullptr;
    QLabel *m_rangeLabel = nullptr;
    QPushButton *m_outputCommand = nullptr;
};

} // namespace rz417
