#include "panel/UIForm.h"

#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPushButton>

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
        font.setLetterSpacing(QFont::AbsoluteSpacing,
                              -static_cast<qreal>(needed - room) / static_cast<qreal>(widest.size()));
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

UIForm::UIForm(Platform &platform, CommControl &comm, QWidget *parent)
    : QMainWindow(parent), m_panel(*this, platform, comm)
{
    setObjectName(QStringLiteral("UIForm"));
    setWindowTitle(QStringLiteral("RZ-417"));

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

    m_rangeLabel = addLabel("RangeLabel", QStringLiteral("Range : 0 to 999.9\u03A9"), 720, 1800,
                            1935, 255);
    m_rangeLabel->setFont(rangeFont());

    // Created in tab order: CV, CC, CP, CR, 7, 4, 1, 0, Enter, 2, 3, 5, 6, 8, 9, Output.
    QList<QPushButton *> order{
        addButton("CVCommand", "CV", 2040, 2520, 855, 735, &FrontPanel::CVCommand_Click),
        addButton("CCCommand", "CC", 3120, 2520, 855, 735, &FrontPanel::CCCommand_Click),
        addButton("CPCommand", "CP", 2040, 3480, 855, 735, &FrontPanel::CPCommand_Click),
        addButton("CRCommand", "CR", 3120, 3480, 855, 735, &FrontPanel::CRCommand_Click),
        addButton("SevenCommand", "7", 4440, 600, 855, 735, &FrontPanel::SevenCommand_Click),
        addButton("FourCommand", "4", 4440, 1560, 855, 735, &FrontPanel::FourCommand_Click),
        addButton("OneCommand", "1", 4440, 2520, 855, 735, &FrontPanel::OneCommand_Click),
        addButton("ZeroCommand", "0", 4440, 3480, 855, 735, &FrontPanel::ZeroCommand_Click),
        addButton("EnterCommand", "Enter", 5520, 3480, 1935, 735,
                  &FrontPanel::EnterCommand_Click),
        addButton("TwoCommand", "2", 5520, 2520, 855, 735, &FrontPanel::TwoCommand_Click),
        addButton("ThreeCommand", "3", 6600, 2520, 855, 735, &FrontPanel::ThreeCommand_Click),
        addButton("FiveCommand", "5", 5520, 1560, 855, 735, &FrontPanel::FiveCommand_Click),
        addButton("SixCommand", "6", 6600, 1560, 855, 735, &FrontPanel::SixCommand_Click),
        addButton("EightCommand", "8", 5520, 600, 855, 735, &FrontPanel::EightCommand_Click),
        addButton("NineCommand", "9", 6600, 600, 855, 735, &FrontPanel::NineCommand_Click),
        addButton("OutputCommand", "Output / OFF", 360, 2520, 1335, 735,
                  &FrontPanel::OutputCommand_Click),
    };
    m_outputCommand = order.last();
    for (qsizetype i = 1; i < order.size(); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);
    order.first()->setFocus();

    buildMenu();
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    layout()->activate();
}

bool UIForm::load()
{
    return m_panel.Form_Load();
}

void UIForm::setCaption(Caption caption, const std::string &text)
{
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

QPushButton *UIForm::addButton(const char *name, const char *caption, int left, int top,
                               int width, int height, void (FrontPanel::*handler)())
{
    auto *button = new PanelButton(QString::fromLatin1(caption), m_control);
    button->setObjectName(QString::fromLatin1(name));
    button->setGeometry(twips(left), twips(top), twips(width), twips(height));
    button->setAutoDefault(false);
    connect(button, &QPushButton::clicked, this, [this, handler] { (m_panel.*handler)(); });
    return button;
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
    QAction *exitAction = mFile->addAction(QStringLiteral("E&xit"));
    exitAction->setObjectName(QStringLiteral("Exit"));
    QAction *aboutAction = mFile->addAction(QStringLiteral("&About"));
    aboutAction->setObjectName(QStringLiteral("About"));
    connect(exitAction, &QAction::triggered, this, [this] { m_panel.Exit_Click(); });
    connect(aboutAction, &QAction::triggered, this, [this] { m_panel.About_Click(); });
}

} // namespace rz417
