// The measured test window's other kinds over the panel: each kind's fields refuse as the command
// line does, named by the window's labels, with nothing sent; each kind's mnemonics are its own;
// the fields are remembered per kind; an OCP ramp runs to its trip against a meter on a socket,
// and Output and Escape stop it with the input switched off.
#include "window/MeasuredWindow.h"
#include "protocol/Modes.h"
#include "support/Fakes.h"
#include "window/PanelApp.h"

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <set>

namespace rz417::test {
namespace {

void forgetTests()
{
    QSettings settings;
    for (const char *group : {"battery", "ocp", "opp", "sweep", "dcir", "measured"})
        settings.remove(QString::fromLatin1(group));
}

struct MeasuredForm
{
    MeasuredForm()
    {
        forgetTests();
        comm.openable = {1};
        EXPECT_TRUE(app.load());
        platform.boxes.clear();
        form.findChild<QAction *>(QStringLiteral("BatteryTest"))->trigger();
        window = form.measuredWindow();
    }
    // The battery window's test finds the battery chosen, whatever ran before it.
    ~MeasuredForm() { forgetTests(); }

    void choose(const char *title)
    {
        auto *kinds = window->findChild<QComboBox *>(QStringLiteral("Kind"));
        kinds->setCurrentIndex(kinds->findText(QString::fromLatin1(title)));
    }
    QLineEdit *line(const char *field) const
    {
        return window->findChild<QLineEdit *>(QString::fromLatin1(field));
    }
    void set(const char *field, const char *text)
    {
        QLineEdit *edit = line(field);
        ASSERT_NE(edit, nullptr) << field;
        edit->setText(QString::fromUtf8(text));
    }
    QString status() const { return window->findChild<QLabel *>(QStringLiteral("Status"))->text(); }
    void start()
    {
        QTest::mouseClick(window->findChild<QPushButton *>(QStringLiteral("Start")),
                          Qt::LeftButton);
    }
    // Waits until what holds, or 20 s.
    static bool waitFor(const std::function<bool()> &what)
    {
        QDeadlineTimer deadline(20000);
        while (!what() && !deadline.hasExpired())
            QTest::qWait(20);
        return what();
    }

    FakePlatform platform;
    FakeComm comm;
    PanelApp app{platform, comm};
    UIForm &form = app.form();
    MeasuredWindow *window = nullptr;
};

// What every kind's refusals start from: fields that would run.
struct Base
{
    const char *title;
    std::vector<std::pair<const char *, const char *>> fields;
};

const Base kBases[] = {
    {"OCP",
     {{"From", "2"}, {"To", "3"}, {"Step", "0.1"}, {"Trip", "10"}, {"Meter", "127.0.0.1:5025"}}},
    {"OPP",
     {{"From", "10"}, {"To", "40"}, {"Step", "1"}, {"Trip", "10"}, {"Meter", "127.0.0.1:5025"}}},
    {"I-V sweep", {{"From", "0"}, {"To", "3"}, {"Step", "0.1"}, {"Meter", "127.0.0.1:5025"}}},
    {"Internal resistance", {{"Low", "0.2"}, {"High", "1"}, {"Meter", "127.0.0.1:5025"}}},
};

TEST(MeasuredWindow, FieldsThatAreWrongSendNothing)
{
    const struct
    {
        const char *title;
        const char *field;
        const char *text;
        const char *said;
    } rows[] = {
        {"OCP", "From", "4", "From (4.000 A) is above To (3.000 A): the ramp goes up"},
        {"OCP", "Step", "0",
         "Step takes a step above 0 and not above the span from From to To (1.000 A), not "
         "0.000 A"},
        {"OCP", "Meter", "", "Meter is needed: the meter reads the supply's voltage"},
        {"OPP", "Trip", "ten", "Trip below: "},
        {"OPP", "Dwell", "0.1",
         "Dwell takes seconds from 0.2 on, such as 1, 0.5 or 10s, not '0.1'"},
        {"I-V sweep", "Step", "0",
         "Step takes a step above 0, not 0.000 A (the sweep goes down where FROM is above TO)"},
        {"I-V sweep", "StopBelow", "low", "Stop below: "},
        {"Internal resistance", "High", "0.1",
         "High current (0.100 A) is not above Low current (0.200 A): the resistance comes from "
         "the step up"},
        {"Internal resistance", "Repeat", "0",
         "Runs takes a whole number of runs from 1 to 1000, not '0'"},
        {"Internal resistance", "Meter", "127.0.0.1", "Meter: '127.0.0.1' is no meter address"},
    };
    for (const auto &row : rows) {
        MeasuredForm f;
        f.choose(row.title);
        const Base *base = std::find_if(std::begin(kBases), std::end(kBases), [&](const Base &b) {
            return qstrcmp(b.title, row.title) == 0;
        });
        for (const auto &[field, text] : base->fields)
            f.set(field, text);
        f.set(row.field, row.text);
        f.start();
        const QString said = f.status();
        EXPECT_TRUE(said.startsWith(QString::fromUtf8(row.said)) &&
                    said.endsWith(QStringLiteral("; nothing was sent.")))
            << row.title << " " << row.field << ": " << said.toStdString();
        EXPECT_TRUE(f.comm.frames.empty()) << row.title << " " << row.field;
    }
}

TEST(MeasuredWindow, EachKindsMnemonicsAreItsOwn)
{
    MeasuredForm f;
    auto *kinds = f.window->findChild<QComboBox *>(QStringLiteral("Kind"));
    for (int index = 0; index < kinds->count(); ++index) {
        kinds->setCurrentIndex(index);
        std::multiset<int> keys;
        for (const QLabel *label : f.window->findChildren<QLabel *>()) {
            if (label->buddy())
                keys.insert(QKeySequence::mnemonic(label->text())[0].toCombined());
        }
        for (const QAbstractButton *button : f.window->findChildren<QAbstractButton *>())
            keys.insert(QKeySequence::mnemonic(button->text())[0].toCombined());
        keys.erase(0); // no mnemonic
        for (const int key : std::set<int>(keys.begin(), keys.end()))
            EXPECT_EQ(keys.count(key), 1u)
                << kinds->currentText().toStdString() << ": "
                << QKeySequence(key).toString().toStdString() << " twice";
        EXPECT_GE(keys.size(), 10u) << kinds->currentText().toStdString();
    }
}

TEST(MeasuredWindow, FieldsAndTheKindAreRememberedPerKind)
{
    MeasuredForm f;
    f.set("Value", "2.5");
    f.choose("OCP");
    f.set("From", "1.5");
    f.choose("Internal resistance");
    f.set("Low", "0.3");
    f.choose("OCP");
    EXPECT_EQ(f.line("From")->text(), QStringLiteral("1.5"));
    f.choose("Battery discharge");
    EXPECT_EQ(f.line("Value")->text(), QStringLiteral("2.5"));
    f.choose("OCP");
    // A window opened later finds the kind and its fields as they were left.
    MeasuredWindow again(f.app.panel());
    EXPECT_EQ(again.findChild<QComboBox *>(QStringLiteral("Kind"))->currentText(),
              QStringLiteral("OCP"));
    EXPECT_EQ(again.findChild<QLineEdit *>(QStringLiteral("From"))->text(), QStringLiteral("1.5"));
    const QSettings settings;
    EXPECT_EQ(settings.value(QStringLiteral("battery/value")).toString(), QStringLiteral("2.5"));
    EXPECT_EQ(settings.value(QStringLiteral("dcir/low")).toString(), QStringLiteral("0.3"));
}

// A meter on a socket that names itself, then answers each query with the next of its answers,
// and once they are spent with the last again.
struct ScriptedMeter
{
    explicit ScriptedMeter(QStringList script) : answers(std::move(script))
    {
        EXPECT_TRUE(server.listen(QHostAddress::LocalHost));
        QObject::connect(&server, &QTcpServer::newConnection, [this] {
            QTcpSocket *client = server.nextPendingConnection();
            QObject::connect(client, &QTcpSocket::readyRead, client, [this, client] {
                while (client->canReadLine()) {
                    client->readLine();
                    const QString answer =
                        answers.size() > 1 ? answers.takeFirst() : answers.value(0);
                    client->write(answer.toLatin1() + "\r\n");
                }
            });
        });
    }
    QString address() const { return QStringLiteral("127.0.0.1:%1").arg(server.serverPort()); }

    QTcpServer server;
    QStringList answers;
};

TEST(MeasuredWindow, AnOcpRampEndsWithTheInputOff)
{
    const std::vector<std::string> rampStart{"66FFFF", "6300C8", "6600FF"}; // off, 2 A, on
    const struct
    {
        const char *name;
        QStringList answers;
        const char *stop; // the panel's button or the window's key that stops it; none: its trip
        QStringList said; // a line that begins with ~ is a pattern
    } runs[] = {
        {"to its trip",
         {"SIM,DMM", "12.0", "11.9", "11.8", "2.0", "1.9"},
         nullptr,
         {"Figures: current commanded, voltage measured",
          "~Stopped by a trip at 3\\.000 A after 0:00:0\\d", "No-load voltage 12.000 V",
          "Tripped by 3.000 A", "Last good 2.500 A at 11.800 V", "Most power drawn 29.50 W",
          "The input was switched off"}},
        // How many readings came before the stop is the machine's: the lines between vary.
        {"by the panel's Output", {"SIM,DMM", "12.0"}, "OutputCommand", {}},
        {"by Escape", {"SIM,DMM", "12.0"}, "Escape", {}},
    };
    QTemporaryDir dir;
    const QString log = dir.filePath("ocp.csv");
    for (const auto &run : runs) {
        ScriptedMeter meter(run.answers);
        MeasuredForm f;
        f.choose("OCP");
        for (const auto &[field, text] : kBases[0].fields)
            f.set(field, text);
        f.set("Step", "0.5");
        f.set("Dwell", "0.2");
        f.line("Meter")->setText(meter.address());
        f.line("Log")->setText(log);
        f.window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(f.window)) << run.name;
        f.start();
        if (run.stop) {
            ASSERT_TRUE(f.waitFor([&] { return f.comm.frames.size() >= 3; })) << run.name;
            if (qstrcmp(run.stop, "Escape") == 0)
                QTest::keyClick(f.window, Qt::Key_Escape);
            else
                QTest::mouseClick(f.form.findChild<QPushButton *>(QString::fromLatin1(run.stop)),
                                  Qt::LeftButton);
        }
        ASSERT_TRUE(f.waitFor([&] { return f.status().contains(QStringLiteral("The input")); }))
            << run.name << ": " << f.status().toStdString();
        const std::vector<std::string> &frames = f.comm.frames;
        ASSERT_GE(frames.size(), 4u) << run.name;
        EXPECT_EQ(std::vector<std::string>(frames.begin(), frames.begin() + 3), rampStart)
            << run.name;
        EXPECT_EQ(frames.back(), "66FFFF") << run.name;
        // Between them only the ramp's setpoints: the input went off before it and at the end.
        EXPECT_TRUE(std::all_of(frames.begin() + 3, frames.end() - 1, [](const std::string &frame) {
            return frame.rfind("63", 0) == 0;
        })) << run.name;
        if (!run.stop) {
            EXPECT_EQ(frames,
                      (std::vector<std::string>{"66FFFF", "6300C8", "6600FF", "6300FA", "63012C",
                                                "66FFFF"}));
            // The panel holds the last setpoint that went out, in mA.
            EXPECT_EQ(f.app.panel().state().ModeCode, ModeCodes::CC);
            EXPECT_EQ(f.app.panel().state().SentCurrent, 3000);
        }
        EXPECT_FALSE(f.app.panel().state().OutputOn) << run.name;
        EXPECT_FALSE(f.app.panel().load().inputMayBeOn) << run.name;
        const QStringList said = f.status().split('\n');
        if (!run.said.isEmpty()) {
            ASSERT_EQ(said.size(), run.said.size()) << said.join('\n').toStdString();
            for (qsizetype i = 0; i < said.size(); ++i) {
                const QString &expected = run.said[i];
                EXPECT_TRUE(
                    expected.startsWith('~')
                        ? QRegularExpression("^" + expected.mid(1) + "$").match(said[i]).hasMatch()
                        : said[i] == expected)
                    << run.name << ": " << said[i].toStdString();
            }
        }
        EXPECT_EQ(said.value(1).left(15), run.stop ? "Stopped by hand" : "Stopped by a tr")
            << run.name;
        EXPECT_EQ(said.back(), "The input was switched off") << run.name;
        // A row per reading, the one that ended the ramp too, logged after the off frame.
        QFile file(log);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QList<QByteArray> rows = file.readAll().trimmed().split('\n');
        EXPECT_EQ(rows.front(), "time_s,step,setpoint,voltage_V,current_A,power_W") << run.name;
        if (!run.stop) {
            EXPECT_EQ(rows.size(), 6) << run.name;
        }
    }
}

} // namespace
} // namespace rz417::test
