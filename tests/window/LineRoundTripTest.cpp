// The whole path from a click on the window to the bytes on a real line.
#include "serial/SerialPortControl.h"
#include "support/Fakes.h"
#include "support/Pty.h"
#include "window/PanelApp.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <unistd.h>

namespace rz417::test {
namespace {

using namespace std::chrono_literals;

class WindowOnALine : public ::testing::Test
{
protected:
    void SetUp() override
    {
        plug();
        ASSERT_TRUE(app.load());
        ASSERT_EQ(platform.boxes.size(), 2u);
        EXPECT_EQ(platform.boxes[0].text, "Find Com 1, Using it?");
        EXPECT_EQ(platform.boxes[1].text, "Using COM1:");
        platform.boxes.clear();
        form.show();
        EXPECT_TRUE(pty->readNow().empty()) << "start-up sends nothing";
    }
    void TearDown() override { std::filesystem::remove(m_link); }

    // A new far end at the same path, as when an adapter is plugged in again.
    void plug()
    {
        pty = std::make_unique<Pty>();
        std::filesystem::remove(m_link);
        std::filesystem::create_symlink(pty->slavePath(), m_link);
    }

    // Clicks the buttons; each frame must be on the line when its click returns.
    std::string click(const std::vector<const char *> &buttons)
    {
        std::string line;
        for (const char *name : buttons) {
            auto *button = form.findChild<QPushButton *>(QString::fromLatin1(name));
            EXPECT_NE(button, nullptr) << name;
            QTest::mouseClick(button, Qt::LeftButton);
            if (pty)
                line += pty->readNow();
        }
        return line;
    }

    const std::string m_link =
        std::filesystem::temp_directory_path() / ("rz417-line-" + std::to_string(::getpid()));
    std::unique_ptr<Pty> pty;
    FakePlatform platform;
    SerialPortControl comm{PortMap({m_link})};
    PanelApp app{platform, comm};
    UIForm &form = app.form();
};

struct Row
{
    std::vector<const char *> buttons;
    const char *line;
};

const Row kRows[] = {
    {{"CVCommand", "OneCommand", "TwoCommand", "ThreeCommand", "FourCommand", "EnterCommand"},
     "6204D2"},
    {{"EnterCommand", "EnterCommand"}, "6204D26204D2"},
    {{"CCCommand", "FiveCommand", "ZeroCommand", "ZeroCommand", "EnterCommand"}, "6701F4"},
    {{"CCCommand", "OneCommand", "TwoCommand", "ThreeCommand", "FiveCommand", "FiveCommand",
      "EnterCommand"},
     "6304D4"},
    {{"CPCommand", "TwoCommand", "ZeroCommand", "ZeroCommand", "ZeroCommand", "EnterCommand"},
     "6407D0"},
    {{"CRCommand", "NineCommand", "NineCommand", "NineCommand", "NineCommand", "EnterCommand"},
     "65270F"},
    {{"OutputCommand", "CVCommand", "OutputCommand", "OutputCommand"}, "6600FF6600FF66FFFF"},
    {{"SevenCommand", "EightCommand", "SixCommand"}, ""},
};

TEST_F(WindowOnALine, ClicksPutTheExactFramesOnTheLine)
{
    for (const Row &row : kRows)
        EXPECT_EQ(click(row.buttons), row.line);
    EXPECT_TRUE(platform.boxes.empty());
}

TEST_F(WindowOnALine, KeysPutTheSameFramesAsClicks)
{
    const std::map<std::string, Qt::Key> keyOf{
        {"CVCommand", Qt::Key_V},    {"CCCommand", Qt::Key_C},         {"CPCommand", Qt::Key_P},
        {"CRCommand", Qt::Key_R},    {"EnterCommand", Qt::Key_Return}, {"OutputCommand", Qt::Key_O},
        {"ZeroCommand", Qt::Key_0},  {"OneCommand", Qt::Key_1},        {"TwoCommand", Qt::Key_2},
        {"ThreeCommand", Qt::Key_3}, {"FourCommand", Qt::Key_4},       {"FiveCommand", Qt::Key_5},
        {"SixCommand", Qt::Key_6},   {"SevenCommand", Qt::Key_7},      {"EightCommand", Qt::Key_8},
        {"NineCommand", Qt::Key_9},
    };
    for (const Row &row : kRows) {
        std::string line;
        for (const char *name : row.buttons) {
            QTest::keyClick(form.windowHandle(), keyOf.at(name));
            line += pty->readNow();
        }
        EXPECT_EQ(line, row.line);
    }
    EXPECT_TRUE(platform.boxes.empty());
}

TEST_F(WindowOnALine, UnpluggedLineGivesOneBoxPerPressAndRecovers)
{
    EXPECT_EQ(click({"OneCommand", "EnterCommand"}), "620001");

    pty.reset();
    std::filesystem::remove(m_link);
    const auto cpuBefore = processCpuTime();
    QEventLoop idle;
    QTimer::singleShot(500ms, &idle, &QEventLoop::quit);
    idle.exec();
    EXPECT_LT(processCpuTime() - cpuBefore, 250ms) << "the panel spins while the line is gone";
    EXPECT_TRUE(platform.boxes.empty()) << "nothing is reported until the user sends";

    click({"TwoCommand", "EnterCommand"});
    ASSERT_EQ(platform.boxes.size(), 1u);
    EXPECT_EQ(platform.boxes[0].text, "Device not Open");
    EXPECT_EQ(platform.boxes[0].title, "! RS-232 ERROR !");
    click({"OutputCommand"});
    ASSERT_EQ(platform.boxes.size(), 2u);
    EXPECT_EQ(form.findChild<QPushButton *>("OutputCommand")->text(), "Output / OFF");

    plug();
    EXPECT_EQ(click({"EnterCommand", "OutputCommand"}), "6200026600FF");
    EXPECT_EQ(platform.boxes.size(), 2u);
    // The value that failed was never recorded as sent; the one that went out was.
    EXPECT_EQ(app.panel().state().SentVoltage, 2);
}

// Fills the line from a second writer until the kernel takes no more.
void fillLine(const std::string &slavePath)
{
    const int fd = ::open(slavePath.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY);
    ASSERT_GE(fd, 0);
    const std::string block(1024, 'A');
    // The kernel moves data between the pty's buffers in the background, so one refused write
    // does not mean the line is full yet: it is full when writes keep being refused.
    int refusedInARow = 0;
    for (int rounds = 0; rounds < 100000 && refusedInARow < 5; ++rounds) {
        if (::write(fd, block.data(), block.size()) > 0) {
            refusedInARow = 0;
        } else {
            ++refusedInARow;
            ::usleep(10000);
        }
    }
    ::close(fd);
}

TEST_F(WindowOnALine, StalledLineGivesOneBoxPerPressWithinTheBoundedWait)
{
    comm.setWriteTimeout(200ms);
    for (int press = 1; press <= 2; ++press) {
        fillLine(pty->slavePath());
        QElapsedTimer timer;
        timer.start();
        click({"EnterCommand"});
        EXPECT_LT(timer.elapsed(), 2000) << "the window froze past the bounded wait";
        ASSERT_EQ(platform.boxes.size(), static_cast<std::size_t>(press));
        EXPECT_EQ(platform.boxes.back().text, "Tx queue is full");
        EXPECT_EQ(platform.boxes.back().title, "! RS-232 ERROR !");
    }

    // Once the line moves, the next press goes out whole, after the rest of a frame the stalled
    // line had taken only part of, if it had.
    while (!pty->readNow().empty()) {
    }
    const std::string line = click({"FiveCommand", "EnterCommand"});
    ASSERT_GE(line.size(), 6u);
    EXPECT_EQ(line.substr(line.size() - 6), "620005");
    const std::string rest = line.substr(0, line.size() - 6);
    EXPECT_TRUE(rest.size() < 6 &&
                std::string("620000").compare(6 - rest.size(), rest.size(), rest) == 0)
        << rest;
    EXPECT_EQ(platform.boxes.size(), 2u);
}

} // namespace
} // namespace rz417::test
