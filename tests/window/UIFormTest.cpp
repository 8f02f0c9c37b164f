#include "window/UIForm.h"
#include "support/Fakes.h"
#include "window/PanelApp.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QTcpServer>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace rz417::test {
namespace {

struct Placement
{
    const char *name;
    const char *caption;
    int left, top, width, height; // twips, inside the frame
};

// The instrument's panel, in tab order; the three labels last.
const Placement kControls[] = {
    {"CVCommand", "CV", 2040, 2520, 855, 735},
    {"CCCommand", "CC", 3120, 2520, 855, 735},
    {"CPCommand", "CP", 2040, 3480, 855, 735},
    {"CRCommand", "CR", 3120, 3480, 855, 735},
    {"SevenCommand", "7", 4440, 600, 855, 735},
    {"FourCommand", "4", 4440, 1560, 855, 735},
    {"OneCommand", "1", 4440, 2520, 855, 735},
    {"ZeroCommand", "0", 4440, 3480, 855, 735},
    {"EnterCommand", "Enter", 5520, 3480, 1935, 735},
    {"TwoCommand", "2", 5520, 2520, 855, 735},
    {"ThreeCommand", "3", 6600, 2520, 855, 735},
    {"FiveCommand", "5", 5520, 1560, 855, 735},
    {"SixCommand", "6", 6600, 1560, 855, 735},
    {"EightCommand", "8", 5520, 600, 855, 735},
    {"NineCommand", "9", 6600, 600, 855, 735},
    {"OutputCommand", "Output / OFF", 360, 2520, 1335, 735},
    {"CValue", "00.00", 480, 600, 2295, 975},
    {"ModeLabel", "V", 3120, 600, 975, 975},
    {"RangeLabel", "Range : 0 to 63.00V", 720, 1800, 1935, 255},
};
constexpr int kButtons = 16;

struct LoadedForm
{
    LoadedForm()
    {
        comm.openable = {1};
        EXPECT_TRUE(app.load());
        platform.boxes.clear();
    }
    template <typename T> T *child(const char *name)
    {
        T *w = form.findChild<T *>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    void click(const char *name) { QTest::mouseClick(child<QPushButton>(name), Qt::LeftButton); }
    QString display() { return child<QLabel>("CValue")->text(); }

    FakePlatform platform;
    FakeComm comm;
    PanelApp app{platform, comm};
    UIForm &form = app.form();
};

TEST(UIForm, WindowFrameAndMenu)
{
    LoadedForm f;
    EXPECT_EQ(f.form.windowTitle(), "RZ-417");
    EXPECT_EQ(f.form.centralWidget()->size(), QSize(538, 329));
    EXPECT_EQ(f.form.minimumSize(), f.form.maximumSize()) << "the window has a fixed size";

    auto *frame = f.child<QGroupBox>("Control");
    EXPECT_EQ(frame->geometry(), QRect(8, 8, 521, 313));
    EXPECT_TRUE(frame->title().isEmpty());
    EXPECT_EQ(frame->parentWidget(), f.form.centralWidget());

    const QList<QAction *> menus = f.form.menuBar()->actions();
    ASSERT_EQ(menus.size(), 1);
    EXPECT_EQ(menus[0]->text(), "&File");
    // Run Program..., Battery Test..., Journal..., Remote Control... and (only while clients are
    // accepted) Go to Local above a separator, then Exit and About as they were.
    const QList<QAction *> items = menus[0]->menu()->actions();
    QStringList texts;
    for (QAction *item : items)
        texts << item->text();
    EXPECT_EQ(texts, QStringList({"&Run Program...", "&Battery Test...", "&Journal...",
                                  "Remote &Control...", "Go to &Local", "", "E&xit", "&About"}));
    ASSERT_EQ(items.size(), 8);
    EXPECT_FALSE(items[4]->isVisible());
    EXPECT_TRUE(items[5]->isSeparator());
    for (QAction *item : items)
        EXPECT_TRUE(item->shortcut().isEmpty()) << item->text().toStdString();
}

TEST(UIForm, EveryControlAtItsPlaceWithItsCaption)
{
    LoadedForm f;
    auto *frame = f.child<QGroupBox>("Control");
    for (const Placement &p : kControls) {
        auto *w = f.child<QWidget>(p.name);
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(w->parentWidget(), frame) << p.name;
        EXPECT_EQ(w->geometry(), QRect(p.left / 15, p.top / 15, p.width / 15, p.height / 15))
            << p.name;
        QString text;
        if (auto *b = qobject_cast<QPushButton *>(w))
            text = b->text();
        else if (auto *l = qobject_cast<QLabel *>(w))
            text = l->text();
        EXPECT_EQ(text, QString::fromUtf8(p.caption)) << p.name;
    }
    // No two controls overlap.
    for (const Placement &a : kControls) {
        for (const Placement &b : kControls) {
            if (&a != &b) {
                EXPECT_FALSE(f.child<QWidget>(a.name)->geometry().intersects(
                    f.child<QWidget>(b.name)->geometry()))
                    << a.name << " overlaps " << b.name;
            }
        }
    }
}

TEST(UIForm, FontsAndColours)
{
    LoadedForm f;
    auto *value = f.child<QLabel>("CValue");
    EXPECT_EQ(value->font().pointSize(), 48);
    EXPECT_FALSE(value->font().bold());
    EXPECT_EQ(value->font().families().value(0), QString::fromUtf8("新細明體"));
    EXPECT_EQ(value->palette().color(QPalette::Window), QColor(255, 255, 255));
    EXPECT_EQ(value->palette().color(QPalette::WindowText), QColor(0, 128, 0));
    EXPECT_TRUE(value->autoFillBackground());

    auto *unit = f.child<QLabel>("ModeLabel");
    EXPECT_EQ(unit->font().pointSize(), 48);
    EXPECT_TRUE(unit->font().bold());
    EXPECT_EQ(f.child<QLabel>("RangeLabel")->font().pointSizeF(), 9.75);

    // Whichever font the platform chose must draw the digits, the point and the omega sign.
    const QFontMetrics metrics(value->font());
    for (const QChar c : QString::fromUtf8("0123456789.\u03A9"))
        EXPECT_TRUE(metrics.inFont(c)) << c.unicode();

    // Every setpoint text fits the display: no digit is clipped.
    for (const char *text : {"00.00", "88.88", "0.888", "888.8"})
        EXPECT_LE(metrics.horizontalAdvance(QString::fromLatin1(text)), value->width()) << text;
}

TEST(UIForm, TabOrderAndStartingFocus)
{
    LoadedForm f;
    f.form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&f.form));
    EXPECT_EQ(f.form.focusWidget(), f.child<QWidget>("CVCommand"));

    // Tab cycles through the sixteen buttons in the panel's order.
    QWidget *w = f.child<QWidget>("CVCommand");
    for (int i = 1; i <= kButtons; ++i) {
        w = w->nextInFocusChain();
        while (w->focusPolicy() == Qt::NoFocus || !w->isVisibleTo(&f.form))
            w = w->nextInFocusChain();
        EXPECT_EQ(w->objectName(), QString::fromLatin1(kControls[i % kButtons].name)) << i;
    }
    for (const char *label : {"CValue", "ModeLabel", "RangeLabel", "Control"})
        EXPECT_EQ(f.child<QWidget>(label)->focusPolicy(), Qt::NoFocus) << label;
}

TEST(UIForm, ClicksDriveTheCaptions)
{
    LoadedForm f;
    struct Step
    {
        const char *button;
        const char *display;
        const char *unit;
        const char *output;
    };
    const Step steps[] = {
        {"OneCommand", "00.01", "V", "Output / OFF"},
        {"TwoCommand", "00.12", "V", "Output / OFF"},
        {"EnterCommand", "00.12", "V", "Output / OFF"},
        {"OutputCommand", "00.12", "V", "Output /ON"},
        {"CRCommand", "000.0", "\u03A9", "Output / OFF"},
        {"NineCommand", "000.9", "\u03A9", "Output / OFF"},
        {"CCCommand", "00.00", "A", "Output / OFF"},
        {"ZeroCommand", "0.000", "A", "Output / OFF"},
        {"CVCommand", "00.12", "V", "Output / OFF"},
    };
    for (const Step &s : steps) {
        f.click(s.button);
        EXPECT_EQ(f.display(), QString::fromUtf8(s.display)) << s.button;
        EXPECT_EQ(f.child<QLabel>("ModeLabel")->text(), QString::fromUtf8(s.unit)) << s.button;
        EXPECT_EQ(f.child<QPushButton>("OutputCommand")->text(), QString::fromUtf8(s.output))
            << s.button;
    }
    EXPECT_EQ(f.comm.frames, (std::vector<std::string>{"62000C", "6600FF"}));
}

TEST(UIForm, MenuEntriesReachTheirHandlers)
{
    LoadedForm f;
    f.form.findChild<QAction *>("About")->trigger();
    ASSERT_EQ(f.platform.boxes.size(), 1u);
    EXPECT_EQ(f.platform.boxes[0].title, "RZ-417 Information");
    EXPECT_FALSE(f.platform.ended);
    f.form.findChild<QAction *>("Exit")->trigger();
    EXPECT_TRUE(f.platform.ended);
    EXPECT_TRUE(f.comm.frames.empty());
}

TEST(UIForm, TheRememberedJournalIsUsedAndShownInTheTitle)
{
    const QString path = QDir::temp().filePath(
        QStringLiteral("rz417-remembered-%1.csv").arg(QCoreApplication::applicationPid()));
    QFile::remove(path);
    QSettings().setValue(QStringLiteral("journal"), path);
    LoadedForm f;
    f.app.restoreJournal();
    QSettings().remove(QStringLiteral("journal"));
    ASSERT_NE(f.app.panel().journal(), nullptr);
    EXPECT_EQ(f.form.windowTitle(),
              QStringLiteral("RZ-417 (journal: %1)").arg(QFileInfo(path).fileName()));
    f.click("EnterCommand");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().split('\n');
    ASSERT_GE(lines.size(), 2);
    EXPECT_TRUE(lines[1].endsWith(",panel,,,620000,CV 0.00 V,sent")) << lines[1].toStdString();
    QFile::remove(path);
}

TEST(UIForm, RemoteControlListensOrSaysWhyNot)
{
    QTcpServer taken;
    ASSERT_TRUE(taken.listen(QHostAddress::LocalHost));
    const QString inUse = QStringLiteral("127.0.0.1:%1").arg(taken.serverPort());
    const struct
    {
        QString address;
        QString title; // a regular expression; the box's text when it says why not
        QString box;
        QString watchdog{};
    } rows[] = {
        {"127.0.0.1:0", "^RZ-417 \\(remote: 127\\.0\\.0\\.1:\\d+\\)$", "", "60"},
        // A watchdog's delay that is none changes nothing.
        {"127.0.0.1:0", "^RZ-417$",
         "Remote control is unchanged: '0' is not a watchdog delay: the watchdog takes whole "
         "seconds from 1 to 3600",
         "0"},
        {"127.0.0.1:0", "^RZ-417$", "Remote control is unchanged: 'abc' is not a watchdog delay",
         "abc"},
        {"127.0.0.1:0", "^RZ-417 \\(remote: 127\\.0\\.0\\.1:\\d+\\)$", ""},
        {"[::1]:0", "^RZ-417 \\(remote: \\[::1\\]:\\d+\\)$", ""},
        // Beyond this machine: advertised, or a line that says why not.
        {"0.0.0.0:0", "^RZ-417 \\(remote: 0\\.0\\.0\\.0:\\d+\\)$", ""},
        {inUse, "^RZ-417$", "Remote control is off: cannot listen on " + inUse},
        {"192.0.2.1:5025", "^RZ-417$", "Remote control is off: cannot listen on 192.0.2.1:5025"},
        {"lab-pc:5025", "^RZ-417$", "Remote control is off: 'lab-pc' is not an IP address"},
        {"127.0.0.1:99999", "^RZ-417$",
         "Remote control is off: '99999' is not a TCP port: the address takes [ADDRESS:]TCPPORT"},
    };
    for (const auto &row : rows) {
        LoadedForm f;
        QString box;
        QTimer::singleShot(0, &f.form, [&] {
            if (auto *shown = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                box = shown->text();
                shown->accept();
            }
        });
        const bool listening = f.app.useRemote(true, row.address, row.watchdog);
        EXPECT_EQ(listening, row.box.isEmpty()) << row.address.toStdString();
        EXPECT_TRUE(QRegularExpression(row.title).match(f.form.windowTitle()).hasMatch())
            << row.address.toStdString() << ": " << f.form.windowTitle().toStdString();
        EXPECT_TRUE(row.box.isEmpty() ? box.isEmpty() : box.startsWith(row.box))
            << box.toStdString();
        EXPECT_EQ(f.child<QAction>("GoToLocal")->isVisible(), listening);
        if (listening) {
            EXPECT_EQ(QSettings().value(QStringLiteral("remote/watchdog")).toString(),
                      row.watchdog);
        }
        EXPECT_EQ(f.platform.diagnostics.size(), row.address.startsWith("0.") ? 1u : 0u);
        f.app.useRemote(false, {});
        EXPECT_EQ(f.form.windowTitle(), "RZ-417");
    }
    QSettings().remove(QStringLiteral("remote"));
}

TEST(UIForm, NoAcceptedPortEndsBeforeTheWindowShows)
{
    FakePlatform platform;
    FakeComm comm;
    PanelApp app(platform, comm);
    UIForm &form = app.form();
    EXPECT_FALSE(app.load());
    EXPECT_TRUE(platform.ended);
    EXPECT_FALSE(form.isVisible());
}

} // namespace
} // namespace rz417::test
