#include "window/UIForm.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFileInfo>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QStyleHints>

#include "panel/FrontPanel.h"
#include "window/MeasuredWindow.h"
#include "window/PanelApp.h"
#include "window/ProgramWindow.h"
#include "window/WindowPlacement.h"

#include <algorithm>
#include <chrono>

namespace rz417 {

namespace {

// The display's font is the Traditional Chinese system serif; Debian's AR PL UMing is a close
// relative. Whatever comes after has the digits, the point and the omega sign.
QFont displayFont(bool bold)
{
    QFont font;
    font.setFamilies({QStringLiteral("新細明體"), QStringLiteral("PMingLiU"),
                      QStringLiteral("AR PL UMing TW"), QStringLiteral("AR PL UMing CN"),
                      QStringLiteral("DejaVu Serif"), QStringLiteral("serif")});
    font.setStyleHint(QFont::Serif);
    font.setPointSize(48);
    font.setBold(bold);
    return font;
}

QFont rangeFont()
{
    QFont font;
    font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Microsoft Sans Serif"),
                      QStringLiteral("DejaVu Sans"), QStringLiteral("sans-serif")});
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(9.75);
    return font;
}

// Ming faces other than PMingLiU set the digits wider than the display is; close the gaps
// between the characters rather than clip a digit.
void fitDisplayWidth(QLabel *label)
{
    QFont font = label->font();
    const QString widest = QStringLiteral("00.00");
    const int room = label->width() - 4;
    const int needed = QFontMetrics(font).horizontalAdvance(widest);
    if (needed > room) {
        font.setLetterSpacing(QFont::AbsoluteSpacing, -static_cast<qreal>(needed - room) /
                                                          static_cast<qreal>(widest.size()));
        label->setFont(font);
    }
}

// QAbstractButton repaints itself synchronously on press and on release, the latter before it
// emits clicked(); under X11 each such repaint first waits for the server. That more than
// doubled the time from a click to the frame on the line and capped the clicks a second. This
// button leaves both repaints to the event loop, the release's until after the handler.
class PanelButton : public QPushButton
{
public:
    PanelButton(const QString &text, QWidget *parent) : QPushButton(text, parent)
    {
        // Connected before the handler, so that a handler that opens a message box finds the
        // button drawn released again.
        connect(this, &QAbstractButton::clicked, this, [this] { setUpdatesEnabled(true); });
    }

protected:
    void mousePressEvent(QMouseEvent *event) override
    {
        setUpdatesEnabled(false);
        QPushButton::mousePressEvent(event);
        setUpdatesEnabled(true);
    }
    void mouseReleaseEvent(QMouseEvent *event) override
    {
        setUpdatesEnabled(false);
        QPushButton::mouseReleaseEvent(event);
        setUpdatesEnabled(true); // schedules the repaint, if clicked() has not already
    }
};

} // namespace

// A button of the panel: where it sits, its handler, and what it says to someone who cannot see
// it. Listed in tab order.
struct ButtonDef
{
    const char *name;
    const char *caption;
    int left, top, width, height; // twips, inside the frame
    void (FrontPanel::*handler)();
    const char *toolTip;
    const char *description;
};

namespace {

const ButtonDef kButtons[] = {
    {"CVCommand", "CV", 2040, 2520, 855, 735, &FrontPanel::CVCommand_Click, "Constant voltage (V)",
     "Constant voltage mode (key V)"},
    {"CCCommand", "CC", 3120, 2520, 855, 735, &FrontPanel::CCCommand_Click, "Constant current (C)",
     "Constant current mode (key C)"},
    {"CPCommand", "CP", 2040, 3480, 855, 735, &FrontPanel::CPCommand_Click, "Constant power (P)",
     "Constant power mode (key P)"},
    {"CRCommand", "CR", 3120, 3480, 855, 735, &FrontPanel::CRCommand_Click,
     "Constant resistance (R)", "Constant resistance mode (key R)"},
    {"SevenCommand", "7", 4440, 600, 855, 735, &FrontPanel::SevenCommand_Click, "Digit 7 (7)",
     "Digit 7"},
    {"FourCommand", "4", 4440, 1560, 855, 735, &FrontPanel::FourCommand_Click, "Digit 4 (4)",
     "Digit 4"},
    {"OneCommand", "1", 4440, 2520, 855, 735, &FrontPanel::OneCommand_Click, "Digit 1 (1)",
     "Digit 1"},
    {"ZeroCommand", "0", 4440, 3480, 855, 735, &FrontPanel::ZeroCommand_Click, "Digit 0 (0)",
     "Digit 0"},
    {"EnterCommand", "Enter", 5520, 3480, 1935, 735, &FrontPanel::EnterCommand_Click,
     "Send the setpoint (Return)", "Send the setpoint (Return)"},
    {"TwoCommand", "2", 5520, 2520, 855, 735, &FrontPanel::TwoCommand_Click, "Digit 2 (2)",
     "Digit 2"},
    {"ThreeCommand", "3", 6600, 2520, 855, 735, &FrontPanel::ThreeCommand_Click, "Digit 3 (3)",
     "Digit 3"},
    {"FiveCommand", "5", 5520, 1560, 855, 735, &FrontPanel::FiveCommand_Click, "Digit 5 (5)",
     "Digit 5"},
    {"SixCommand", "6", 6600, 1560, 855, 735, &FrontPanel::SixCommand_Click, "Digit 6 (6)",
     "Digit 6"},
    {"EightCommand", "8", 5520, 600, 855, 735, &FrontPanel::EightCommand_Click, "Digit 8 (8)",
     "Digit 8"},
    {"NineCommand", "9", 6600, 600, 855, 735, &FrontPanel::NineCommand_Click, "Digit 9 (9)",
     "Digit 9"},
    {"OutputCommand", "Output / OFF", 360, 2520, 1335, 735, &FrontPanel::OutputCommand_Click,
     "Input on/off (O); Escape switches it off",
     "Switch the load's input on or off (key O; Escape switches it off)"},
};

// The keys of the panel and the button each one clicks. Only a held digit acts again on
// auto-repeat: a held O or Escape must not flicker the load's input.
struct KeyBinding
{
    int key;
    const char *button;
    bool repeats;
    bool letter;     // either case
    bool onlyWhenOn; // Escape: acts only when the click would switch the input off
};

const KeyBinding kKeys[] = {
    {Qt::Key_0, "ZeroCommand", true, false, false},
    {Qt::Key_1, "OneCommand", true, false, false},
    {Qt::Key_2, "TwoCommand", true, false, false},
    {Qt::Key_3, "ThreeCommand", true, false, false},
    {Qt::Key_4, "FourCommand", true, false, false},
    {Qt::Key_5, "FiveCommand", true, false, false},
    {Qt::Key_6, "SixCommand", true, false, false},
    {Qt::Key_7, "SevenCommand", true, false, false},
    {Qt::Key_8, "EightCommand", true, false, false},
    {Qt::Key_9, "NineCommand", true, false, false},
    {Qt::Key_Return, "EnterCommand", false, false, false},
    {Qt::Key_Enter, "EnterCommand", false, false, false},
    {Qt::Key_V, "CVCommand", false, true, false},
    {Qt::Key_C, "CCCommand", false, true, false},
    {Qt::Key_P, "CPCommand", false, true, false},
    {Qt::Key_R, "CRCommand", false, true, false},
    {Qt::Key_O, "OutputCommand", false, true, false},
    {Qt::Key_Escape, "OutputCommand", false, false, true},
};

const KeyBinding *bindingOf(const QKeyEvent &event)
{
    // Ctrl, Alt and Meta combinations belong to the menu and the system.
    const Qt::KeyboardModifiers mods = event.modifiers() & ~Qt::KeypadModifier;
    for (const KeyBinding &binding : kKeys) {
        if (binding.key != event.key())
            continue;
        if (mods == Qt::NoModifier || (binding.letter && mods == Qt::ShiftModifier))
            return &binding;
        return nullptr;
    }
    return nullptr;
}

} // namespace

UIForm::UIForm(PanelApp &app, QWidget *parent) : QMainWindow(parent), m_app(app)
{
    setObjectName(QStringLiteral("UIForm"));
    setWindowTitle(QStringLiteral("RZ-417"));
    if (QGuiApplication::platformName() == QLatin1String("xcb")) {
        const int rate = std::max(1, QGuiApplication::styleHints()->keyboardAutoRepeatRate());
        m_keyRepeat.emplace(std::chrono::milliseconds(1000 / rate));
    }

    auto *client = new QWidget(this);
    client->setFixedSize(538, 329);
    setCentralWidget(client);

    m_control = new QGroupBox(client);
    m_control->setObjectName(QStringLiteral("Control"));
    m_control->setGeometry(twips(120), twips(120), twips(7815), twips(4695));
    m_control->setFocusPolicy(Qt::NoFocus);

    // Captions as defined; start-up replaces the unit and range before the window shows.
    m_cValue = addLabel("CValue", QStringLiteral("00.00"), 480, 600, 2295, 975);
    m_cValue->setFont(displayFont(false));
    m_cValue->setAutoFillBackground(true);
    QPalette palette = m_cValue->palette();
    palette.setColor(QPalette::Window, QColor(255, 255, 255));
    palette.setColor(QPalette::WindowText, QColor(0, 128, 0));
    m_cValue->setPalette(palette);
    m_cValue->setAlignment(Qt::AlignCenter);
    fitDisplayWidth(m_cValue);

    m_modeLabel = addLabel("ModeLabel", QStringLiteral("\u03A9"), 3120, 600, 975, 975);
    m_modeLabel->setFont(displayFont(true));
    m_modeLabel->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);

    m_rangeLabel =
        addLabel("RangeLabel", QStringLiteral("Range : 0 to 999.9\u03A9"), 720, 1800, 1935, 255);
    m_rangeLabel->setFont(rangeFont());
    m_rangeLabel->setAccessibleDescription(QStringLiteral("Range of the active mode"));

    // The instrument's remote annunciator, under the unit: shown only in remote.
    m_remoteIndicator = addLabel("RemoteIndicator", QStringLiteral("RMT"), 3120, 1800, 975, 255);
    m_remoteIndicator->setFont(rangeFont());
    m_remoteIndicator->setAccessibleName(QStringLiteral("Remote"));
    m_remoteIndicator->setAccessibleDescription(
        QStringLiteral("SCPI clients set the load; Go to Local (key L) takes it back"));
    m_remoteIndicator->hide();

    QList<QPushButton *> order;
    for (const ButtonDef &def : kButtons)
        order.push_back(addButton(def));
    m_outputCommand = order.last();
    m_remoteIndicator->raise();
    for (qsizetype i = 1; i < order.size(); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);
    order.first()->setFocus();

    buildMenu();
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    layout()->activate();
}

void UIForm::setDescription(Caption caption, const std::string &text)
{
    const QString qtext = QString::fromStdString(text);
    switch (caption) {
    case Caption::CValue:
        m_cValue->setAccessibleDescription(qtext);
        break;
    case Caption::ModeLabel:
        m_modeLabel->setAccessibleDescription(qtext);
        break;
    case Caption::RangeLabel:
        m_rangeLabel->setAccessibleDescription(qtext);
        break;
    case Caption::OutputCommand:
        m_outputCommand->setAccessibleDescription(qtext);
        break;
    }
}

UIForm::~UIForm() = default;

FrontPanel &UIForm::panel() const
{
    return m_app.panel();
}

void UIForm::keyPressEvent(QKeyEvent *event)
{
    // L is Go to Local, which no button of the panel has.
    const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
    if (event->key() == Qt::Key_L && (mods == Qt::NoModifier || mods == Qt::ShiftModifier)) {
        event->accept();
        if (!event->isAutoRepeat())
            panel().GoToLocal_Click();
        return;
    }
    const KeyBinding *binding = bindingOf(*event);
    if (!binding) {
        QMainWindow::keyPressEvent(event);
        return;
    }
    event->accept();
    const bool repeated = event->isAutoRepeat() ||
                          (m_keyRepeat && m_keyRepeat->repeats(event->key(), event->timestamp()));
    if (!binding->repeats && repeated) {
        // Still held: the button stays down.
        if (QPushButton *target = button(binding->button); target->isEnabled() && !m_held)
            holdDown(target, event->key());
        return;
    }
    if (binding->onlyWhenOn && !panel().escapeActs())
        return;
    QPushButton *target = button(binding->button);
    if (!target->isEnabled())
        return;
    holdDown(target, event->key());
    if (binding->onlyWhenOn) {
        // Escape switches off; a click of Output would switch on an input shown off that may
        // be on.
        panel().Escape_Press();
    } else {
        // The clicked signal runs the button's handler, exactly as a click of the mouse does.
        target->click();
    }
    // click() leaves the button up; it stays down until the key is released, unless that
    // happened already (in a box the handler showed).
    if (m_held == target)
        target->setDown(true);
}

bool UIForm::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyRelease) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (!key->isAutoRepeat() && key->key() == m_heldKey) {
            if (m_keyRepeat)
                m_keyRepeat->released(key->key(), key->timestamp());
            releaseHeld();
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void UIForm::changeEvent(QEvent *event)
{
    // A key released in another window is never seen here.
    if (event->type() == QEvent::ActivationChange && !isActiveWindow())
        releaseHeld();
    QMainWindow::changeEvent(event);
}

void UIForm::holdDown(QPushButton *target, int key)
{
    if (m_held && m_held != target)
        releaseHeld();
    if (!m_held)
        qApp->installEventFilter(this);
    m_held = target;
    m_heldKey = key;
    target->setDown(true);
}

void UIForm::releaseHeld()
{
    if (m_held)
        m_held->setDown(false);
    if (m_heldKey != 0)
        qApp->removeEventFilter(this);
    m_held = nullptr;
    m_heldKey = 0;
}

QPushButton *UIForm::button(const char *name) const
{
    return m_control->findChild<QPushButton *>(QString::fromLatin1(name),
                                               Qt::FindDirectChildrenOnly);
}

void UIForm::setCaption(Caption caption, const std::string &text)
{
    // Each control announces its new text to assistive technology itself (a name change), so
    // a screen reader can follow typed digits.
    const QString qtext = QString::fromStdString(text);
    switch (caption) {
    case Caption::CValue:
        m_cValue->setText(qtext);
        break;
    case Caption::ModeLabel:
        m_modeLabel->setText(qtext);
        break;
    case Caption::RangeLabel:
        m_rangeLabel->setText(qtext);
        break;
    case Caption::OutputCommand:
        m_outputCommand->setText(qtext);
        break;
    }
}

QPushButton *UIForm::addButton(const ButtonDef &def)
{
    auto *target = new PanelButton(QString::fromLatin1(def.caption), m_control);
    target->setObjectName(QString::fromLatin1(def.name));
    target->setGeometry(twips(def.left), twips(def.top), twips(def.width), twips(def.height));
    target->setAutoDefault(false);
    // The accessible name stays the caption; the description says what the button does.
    target->setToolTip(QString::fromUtf8(def.toolTip));
    target->setAccessibleDescription(QString::fromUtf8(def.description));
    const auto handler = def.handler;
    connect(target, &QPushButton::clicked, this, [this, handler] { (panel().*handler)(); });
    return target;
}

QLabel *UIForm::addLabel(const char *name, const QString &caption, int left, int top, int width,
                         int height)
{
    auto *label = new QLabel(caption, m_control);
    label->setObjectName(QString::fromLatin1(name));
    label->setGeometry(twips(left), twips(top), twips(width), twips(height));
    label->setFocusPolicy(Qt::NoFocus);
    label->setTextFormat(Qt::PlainText);
    return label;
}

void UIForm::buildMenu()
{
    QMenu *mFile = menuBar()->addMenu(QStringLiteral("&File"));
    mFile->setObjectName(QStringLiteral("mFile"));
    m_runAction = mFile->addAction(QStringLiteral("&Run Program..."));
    m_runAction->setObjectName(QStringLiteral("RunProgram"));
    QAction *batteryAction = mFile->addAction(QStringLiteral("&Battery Test..."));
    batteryAction->setObjectName(QStringLiteral("BatteryTest"));
    QAction *journalAction = mFile->addAction(QStringLiteral("&Journal..."));
    journalAction->setObjectName(QStringLiteral("Journal"));
    QAction *remoteAction = mFile->addAction(QStringLiteral("Remote &Control..."));
    remoteAction->setObjectName(QStringLiteral("RemoteControl"));
    // Shown while clients are accepted.
    m_localAction = mFile->addAction(QStringLiteral("Go to &Local"));
    m_localAction->setObjectName(QStringLiteral("GoToLocal"));
    m_localAction->setVisible(false);
    m_localAction->setEnabled(false);
    mFile->addSeparator();
    connect(m_runAction, &QAction::triggered, this, [this] { m_app.chooseProgram(); });
    connect(batteryAction, &QAction::triggered, this, &UIForm::openMeasured);
    connect(journalAction, &QAction::triggered, this, [this] { m_app.chooseJournal(); });
    connect(remoteAction, &QAction::triggered, this, [this] { m_app.chooseRemote(); });
    connect(m_localAction, &QAction::triggered, this, [this] { panel().GoToLocal_Click(); });
    QAction *exitAction = mFile->addAction(QStringLiteral("E&xit"));
    exitAction->setObjectName(QStringLiteral("Exit"));
    QAction *aboutAction = mFile->addAction(QStringLiteral("&About"));
    aboutAction->setObjectName(QStringLiteral("About"));
    connect(exitAction, &QAction::triggered, this, [this] { panel().Exit_Click(); });
    connect(aboutAction, &QAction::triggered, this, [this] { panel().About_Click(); });
}

void UIForm::setJournalStatus(const std::string &path)
{
    m_journalPath = path;
    updateTitle();
}

void UIForm::updateTitle()
{
    // The title stays the panel's own while nothing is journaled and no client is accepted.
    QStringList notes;
    if (!m_journalPath.empty())
        notes << QStringLiteral("journal: %1")
                     .arg(QFileInfo(QString::fromStdString(m_journalPath)).fileName());
    if (m_app.remote().listening())
        notes << QStringLiteral("remote: %1").arg(QString::fromStdString(m_app.remote().where()));
    if (!m_notice.empty())
        notes << QString::fromStdString(m_notice);
    setWindowTitle(notes.isEmpty()
                       ? QStringLiteral("RZ-417")
                       : QStringLiteral("RZ-417 (%1)").arg(notes.join(QStringLiteral("; "))));
    setWindowFilePath(QString());
}

void UIForm::enableEntry()
{
    const bool live = panel().entryLive();
    for (QPushButton *b : m_control->findChildren<QPushButton *>()) {
        if (b != m_outputCommand)
            b->setEnabled(live);
    }
    if (!live)
        releaseHeld();
}

void UIForm::setRunning(bool running)
{
    enableEntry();
    m_runAction->setEnabled(!running);
    emit runningChanged(running);
}

void UIForm::setRemote(RemoteState state)
{
    m_remoteIndicator->setVisible(state != RemoteState::Local);
    m_localAction->setEnabled(state == RemoteState::Remote);
    enableEntry();
    emit remoteChanged();
}

void UIForm::setNotice(const std::string &text)
{
    m_notice = text;
    updateTitle();
}

void UIForm::showRemoteControl()
{
    m_localAction->setVisible(m_app.remote().listening());
    updateTitle();
}

ProgramWindow *UIForm::programWindow() const
{
    return m_programWindow;
}

void UIForm::openProgram(const QString &path)
{
    if (panel().runActive())
        return;
    // File names go to the plain code in UTF-8, which it opens as such on every system.
    auto program = std::make_shared<const Program>(loadProgram(path.toStdString()));
    // The window of the last program goes with it; a closed one was only hidden.
    delete m_programWindow;
    // A window of its own, owned by the panel, which it cannot outlive.
    m_programWindow = new ProgramWindow(panel(), path, std::move(program), this);
    connect(this, &UIForm::runningChanged, m_programWindow, &ProgramWindow::runningChanged);
    connect(this, &UIForm::remoteChanged, m_programWindow, &ProgramWindow::remoteChanged);
    placeBeside(m_programWindow);
    m_programWindow->show();
}

MeasuredWindow *UIForm::measuredWindow() const
{
    return m_measuredWindow;
}

void UIForm::openMeasured()
{
    if (m_measuredWindow && m_measuredWindow->isVisible()) {
        m_measuredWindow->raise();
        m_measuredWindow->activateWindow();
        return;
    }
    if (!m_measuredWindow) {
        // A window of its own, owned by the panel, which it cannot outlive; closed, it is only
        // hidden, and keeps its last test's curve and summary.
        m_measuredWindow = new MeasuredWindow(panel(), this);
        connect(this, &UIForm::runningChanged, m_measuredWindow, &MeasuredWindow::runningChanged);
        connect(this, &UIForm::remoteChanged, m_measuredWindow, &MeasuredWindow::remoteChanged);
    }
    placeBeside(m_measuredWindow);
    m_measuredWindow->show();
}

void UIForm::placeBeside(QWidget *window)
{
    // Until it is shown a window has no decorations of its own; the panel's are the best guess
    // of them.
    const QRect client = geometry();
    const QRect frame = frameGeometry();
    const QMargins decorations(client.left() - frame.left(), client.top() - frame.top(),
                               frame.right() - client.right(), frame.bottom() - client.bottom());
    QScreen *where = screen() ? screen() : QGuiApplication::primaryScreen();
    window->setGeometry(rz417::placeBeside(frame, window->size(), window->minimumSizeHint(),
                                           decorations, where->availableGeometry()));
}

void UIForm::closeEvent(QCloseEvent *event)
{
    // A running program or test stops, and the input is switched off, before the panel goes.
    panel().stopRun();
    if (m_programWindow)
        m_programWindow->close();
    if (m_measuredWindow)
        m_measuredWindow->close();
    QMainWindow::closeEvent(event);
}

} // namespace rz417
