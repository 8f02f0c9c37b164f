// The panel's remote control with its real server and a real socket: messages held while a box of
// the panel is open, and the watchdog, which hears the clients meanwhile.
#include "window/RemoteControl.h"
#include "scpinet/ScpiServer.h"
#include "support/Fakes.h"
#include "window/PanelApp.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QPushButton>
#include <QSettings>
#include <QTcpSocket>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

namespace rz417::test {
namespace {

// A line on which a frame can open a box of the panel, as a journal that fails does.
class BoxingComm : public FakeComm
{
public:
    void setOutput(const std::string &data) override
    {
        FakeComm::setOutput(data);
        if (boxAt == frames.size() && box)
            box();
    }
    std::size_t boxAt = 0;
    std::function<void()> box;
};

struct Remote
{
    explicit Remote(const QString &watchdog = {})
    {
        comm.openable = {1};
        EXPECT_TRUE(app.load());
        platform.boxes.clear();
        EXPECT_TRUE(app.useRemote(true, QStringLiteral("127.0.0.1:0"), watchdog));
        const std::string &where = app.remote().where();
        client.connectToHost(QStringLiteral("127.0.0.1"),
                             static_cast<quint16>(std::stoi(where.substr(where.rfind(':') + 1))));
        EXPECT_TRUE(client.waitForConnected(5000));
    }
    ~Remote()
    {
        app.useRemote(false, {});
        QSettings().remove(QStringLiteral("remote"));
    }

    // Runs the event loop until done() or the deadline; whether done() came.
    static bool pump(const std::function<bool()> &done, int ms = 10000)
    {
        QElapsedTimer timer;
        timer.start();
        while (!done()) {
            if (timer.elapsed() > ms)
                return false;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        }
        return true;
    }
    // A box of the panel, open for ms with the event loop running in it as a modal box's does.
    void box(int ms)
    {
        app.holdRemote(true);
        QEventLoop loop;
        QTimer::singleShot(ms, &loop, &QEventLoop::quit);
        loop.exec();
        app.holdRemote(false);
    }
    void send(const QByteArray &data)
    {
        client.write(data);
        client.flush();
    }
    // The answer lines so far.
    QList<QByteArray> &answers()
    {
        m_read += client.readAll();
        while (m_read.contains('\n')) {
            const qsizetype end = m_read.indexOf('\n');
            m_answers.push_back(m_read.left(end));
            m_read.remove(0, end + 1);
        }
        return m_answers;
    }
    std::size_t count(const std::string &frame) const
    {
        return static_cast<std::size_t>(std::count(comm.frames.begin(), comm.frames.end(), frame));
    }

    FakePlatform platform;
    BoxingComm comm;
    PanelApp app{platform, comm};
    UIForm &form = app.form();
    QTcpSocket client;

private:
    QByteArray m_read;
    QList<QByteArray> m_answers;
};

TEST(RemoteControl, AMessageHeldByABoxRunsWhenItCloses)
{
    const std::size_t turn = scpinet::ScpiServer::kTurn;
    QByteArray setpoints;
    for (std::size_t i = 0; i < turn + 8; ++i)
        setpoints += "VOLT 1;";
    const struct
    {
        const char *name;
        QByteArray messages;
        std::size_t boxAt; // the frame whose write opens the box
        std::size_t frames;
    } rows[] = {
        {"the next message read in", "VOLT 1\n*IDN?\n*TST?\n", 1, 1},
        {"its message part-run", setpoints + "*IDN?\n*TST?\n", 5, turn + 8},
        {"at the end of its turn", setpoints + "*IDN?\n*TST?\n", turn, turn + 8},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        Remote r;
        std::size_t during = 0;
        r.comm.boxAt = row.boxAt;
        r.comm.box = [&] {
            r.box(300);
            during = r.comm.frames.size();
        };
        r.send(row.messages);
        ASSERT_TRUE(r.pump([&] { return during != 0; }));
        EXPECT_EQ(during, row.boxAt) << "a message ran in the box";
        // The answers come without the client sending more.
        EXPECT_TRUE(r.pump([&] { return r.answers().size() == 2; }, 5000));
        EXPECT_EQ(r.answers(), QList<QByteArray>({"QUENDA,RZ-417,0,1.00", "0"}));
        EXPECT_EQ(r.comm.frames.size(), row.frames);
    }
}

TEST(RemoteControl, AClientTalkingDuringABoxHoldsTheWatchdogOffUntilItGoesSilent)
{
    Remote r(QStringLiteral("2"));
    r.send("INP ON\n");
    ASSERT_TRUE(r.pump([&] { return r.count("6600FF") == 1; }));
    // Three seconds of a box, a message every 0.1 s: heard, not run.
    r.app.holdRemote(true);
    for (int i = 0; i < 30; ++i) {
        r.send("*OPC?\n");
        Remote::pump([] { return false; }, 100);
    }
    EXPECT_EQ(r.count("66FFFF"), 0u) << "tripped while a client talked in a box";
    EXPECT_TRUE(r.answers().empty()) << "a message ran in a box";
    r.app.holdRemote(false);
    EXPECT_TRUE(r.pump([&] { return r.answers().size() == 30; }, 5000));
    // Then silent: the input goes off, the caption says so only after that, and the title why.
    ASSERT_TRUE(r.pump([&] { return r.count("66FFFF") == 1; }));
    EXPECT_EQ(r.form.findChild<QPushButton *>(QStringLiteral("OutputCommand"))->text(),
              "Output / OFF");
    EXPECT_TRUE(
        r.form.windowTitle().endsWith("; watchdog: no SCPI message for 2 s, input switched off)"))
        << r.form.windowTitle().toStdString();
    EXPECT_TRUE(r.platform.boxes.empty()) << r.platform.boxes[0].text;
    EXPECT_EQ(r.platform.diagnostics,
              std::vector<std::string>{
                  "remote control: watchdog: no SCPI message for 2 s, input switched off"});
}

} // namespace
} // namespace rz417::test
