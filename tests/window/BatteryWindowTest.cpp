// The battery window over the panel: fields that are wrong send nothing and say why, and whole
// tests, without a meter and against a meter on a socket, end with the input switched off.
#include "support/Fakes.h"
#include "window/MeasuredWindow.h"
#include "window/PanelApp.h"

#include <QAction>
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

namespace rz417::test {
namespace {

struct BatteryForm
{
    BatteryForm()
    {
        QSettings().remove(QStringLiteral("battery"));
        comm.openable = {1};
        EXPECT_TRUE(app.load());
        platform.boxes.clear();
        form.findChild<QAction *>(QStringLiteral("BatteryTest"))->trigger();
        window = form.measuredWindow();
    }
    void set(const char *field, const QString &text)
    {
        window->findChild<QLineEdit *>(QString::fromLatin1(field))->setText(text);
    }
    QString status() const { return window->findChild<QLabel *>(QStringLiteral("Status"))->text(); }
    // Start, then the status once it says how the test ended (or why it did not start).
    QString run(const QString &until)
    {
        QTest::mouseClick(window->findChild<QPushButton *>(QStringLiteral("Start")),
                          Qt::LeftButton);
        QDeadlineTimer deadline(20000);
        while (!status().contains(until) && !deadline.hasExpired())
            QTest::qWait(20);
        return status();
    }

    FakePlatform platform;
    FakeComm comm;
    PanelApp app{platform, comm};
    UIForm &form = app.form();
    MeasuredWindow *window = nullptr;
};

TEST(BatteryWindow, FieldsThatAreWrongSendNothing)
{
    QTemporaryDir dir;
    const struct
    {
        const char *field;
        QString text;
        QString said;
    } rows[] = {
        {"Value", "abc", "Value: "},
        {"Meter", "",
         "The cut-off needs a meter to read the voltage: give the meter's address; "
         "nothing was sent."},
        {"Meter", "127.0.0.1", "Meter: '127.0.0.1' is no meter address"},
        {"Log", dir.filePath("no/such/folder.csv"), "folder.csv: cannot be written"},
        // Nothing listens there: port 1 of this machine refuses.
        {"Meter", "127.0.0.1:1", "The meter cannot be reached: "},
    };
    for (const auto &row : rows) {
        BatteryForm f;
        f.set("Cutoff", QStringLiteral("3.0"));
        f.set("Meter", QStringLiteral("127.0.0.1:5025"));
        f.set(row.field, row.text);
        const QString said = f.run(QStringLiteral("nothing was sent."));
        EXPECT_TRUE(said.contains(row.said)) << said.toStdString();
        EXPECT_TRUE(f.comm.frames.empty()) << row.field;
    }
}

TEST(BatteryWindow, TestsEndWithTheInputOff)
{
    // A meter that names itself, then answers 3.9, 3.7 and then what is no voltage.
    QTcpServer meter;
    ASSERT_TRUE(meter.listen(QHostAddress::LocalHost));
    QStringList answers{"SIM,DMM", "+3.9E+00", "3.7", "OVLD"};
    QObject::connect(&meter, &QTcpServer::newConnection, [&] {
        QTcpSocket *client = meter.nextPendingConnection();
        QObject::connect(client, &QTcpSocket::readyRead, client, [&answers, client] {
            while (client->canReadLine()) {
                client->readLine();
                if (!answers.isEmpty())
                    client->write(answers.takeFirst().toLatin1() + "\r\n");
            }
        });
    });
    QTemporaryDir dir;
    const QString log = dir.filePath("run.csv");
    const struct
    {
        const char *name;
        QString meter, time, until;
        QStringList said;
        int rows; // in the log
    } runs[] = {
        {"no meter, to its time",
         "",
         "0.5",
         "Stopped by the time",
         {"Stopped by the time after 0:00:01", "Capacity 0.0001 Ah, energy 0.0000 Wh",
          "Without a meter these figures are the commanded ones, not measured",
          "The input was switched off"},
         4},
        {"a meter that answers what is no number",
         QStringLiteral("127.0.0.1:%1").arg(meter.serverPort()),
         "60",
         "The input",
         {"The meter stopped answering (it answered 'OVLD', which is no number) after 0:00:00",
          // Each reading counts from when the meter answered: the first, 3.9 V, weighs as long as
          // it took to come (a millisecond, or a good part of the 0.2 s on a cold, loaded
          // machine), which lifts the mean above 3.80 V by that share, never to 3.90 V.
          "Capacity 0.0001 Ah, energy 0.0002 Wh", "~Voltage: mean 3\\.8\\d\\d V, end 3\\.700 V",
          "The input was switched off"},
         2},
    };
    for (const auto &run : runs) {
        BatteryForm f;
        f.set("Value", QStringLiteral("1"));
        f.set("Time", run.time);
        f.set("Interval", QStringLiteral("0.2"));
        f.set("Meter", run.meter);
        f.set("Log", log);
        // A line that begins with ~ is a pattern.
        const QStringList said = f.run(run.until).split('\n');
        ASSERT_EQ(said.size(), run.said.size()) << said.join('\n').toStdString();
        for (qsizetype i = 0; i < said.size(); ++i) {
            const QString &expected = run.said[i];
            EXPECT_TRUE(
                expected.startsWith('~')
                    ? QRegularExpression("^" + expected.mid(1) + "$").match(said[i]).hasMatch()
                    : said[i] == expected)
                << run.name << ": " << said[i].toStdString();
        }
        EXPECT_EQ(f.comm.frames, (std::vector<std::string>{"6703E8", "6600FF", "66FFFF"}))
            << run.name;
        EXPECT_EQ(f.app.panel().state().OutputOn, false) << run.name;
        QFile file(log);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_EQ(file.readAll().count('\n'), run.rows + 1) << run.name;
        EXPECT_TRUE(f.window->findChild<QPushButton *>(QStringLiteral("Start"))->isEnabled());
    }
}

} // namespace
} // namespace rz417::test
