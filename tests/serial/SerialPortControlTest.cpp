#include "serial/SerialPortControl.h"
#include "panel/FrontPanel.h"
#include "support/Fakes.h"
#include "support/Pty.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace rz417::test {
namespace {

using namespace std::chrono_literals;

// Runs the event loop, sleeping while nothing happens, as the panel does when idle.
void processEventsFor(std::chrono::milliseconds duration)
{
    QEventLoop loop;
    QTimer::singleShot(duration, &loop, &QEventLoop::quit);
    loop.exec();
}

// OpenCommPort's calls on a real control: the port number, the settings, PortOpen.
int16_t openPort(CommControl &comm, int16_t port, const std::string &settings = "115200 N 8 1")
{
    FakeCaptions captions;
    FakePlatform platform;
    FrontPanel panel(captions, platform, comm);
    const int16_t result = panel.OpenCommPort(port, settings);
    EXPECT_TRUE(platform.boxes.empty()) << "opening never shows anything";
    return result;
}

TEST(SerialPortControl, OpenWriteCloseAndReopen)
{
    Pty pty;
    SerialPortControl comm(PortMap({"", "", pty.slavePath()}));
    EXPECT_EQ(openPort(comm, 3), 3);
    EXPECT_TRUE(comm.isDeviceOpen());

    comm.setOutput("6204D2");
    // The write is synchronous: the bytes are readable before any event loop runs.
    EXPECT_EQ(pty.readNow(), "6204D2");

    comm.setPortOpen(false);
    EXPECT_FALSE(comm.isDeviceOpen());
    EXPECT_THROW(comm.setOutput("620000"), CommError);

    EXPECT_EQ(openPort(comm, 3), 3);
    comm.setOutput("66FFFF");
    comm.setOutput("6600FF");
    EXPECT_EQ(pty.readNow(), "66FFFF6600FF");
}

TEST(SerialPortControl, LineSettingsAsTheFarEndSeesThem)
{
    Pty pty;
    SerialPortControl comm(PortMap({pty.slavePath()}));
    ASSERT_EQ(openPort(comm, 1), 1);
    const termios t = pty.settings();
    EXPECT_EQ(cfgetospeed(&t), B115200);
    EXPECT_EQ(cfgetispeed(&t), B115200);
    EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(t.c_cflag & PARENB, 0u);
    EXPECT_EQ(t.c_cflag & CSTOPB, 0u);
    EXPECT_EQ(t.c_cflag & CRTSCTS, 0u);
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF), 0u);
    EXPECT_EQ(t.c_oflag & OPOST, 0u) << "output must go out raw";

    // Raw output: nothing is added or translated, not even a line feed.
    comm.setOutput("\n\r6204D2");
    EXPECT_EQ(pty.readBytes(8, 1s), "\n\r6204D2");
}

TEST(SerialPortControl, PortsThatDoNotOpenGiveZero)
{
    Pty pty;
    const std::string dir = std::filesystem::temp_directory_path() /
                            ("rz417-test-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const std::string regular = dir + "/regular";
    std::FILE *f = std::fopen(regular.c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fclose(f);
    const std::string dangling = dir + "/dangling";
    std::filesystem::create_symlink(dir + "/nowhere", dangling);

    // A FIFO with nobody at the other end would block a blocking open.
    const std::string fifo = dir + "/fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);

    const std::vector<std::string> paths{
        "/dev/rz417-missing", "", regular, dir, "/dev/null", dangling, fifo,
        "/" + std::string(5000, 'x'), "/tmp/\xff\xfe-not-utf8", pty.slavePath()};
    SerialPortControl comm{PortMap(paths)};
    QElapsedTimer timer;
    timer.start();
    const auto last = static_cast<int16_t>(paths.size());
    for (int16_t port = 1; port < last; ++port)
        EXPECT_EQ(openPort(comm, port), 0) << "port " << port << ": " << paths[std::size_t(port - 1)];
    EXPECT_EQ(openPort(comm, static_cast<int16_t>(last + 1)), 0) << "beyond the list";
    EXPECT_LT(timer.elapsed(), 5000) << "a port that does not open stalled the scan";
    // No error is left pending: the next open works normally.
    EXPECT_EQ(openPort(comm, last), last);
    std::filesystem::remove_all(dir);
}

TEST(SerialPortControl, RefusedSettingsGiveZero)
{
    Pty pty;
    SerialPortControl comm(PortMap({pty.slavePath()}));
    for (const char *settings : {"", "115200", "115200 Q 8 1", "115200 N 9 1", "fast N 8 1",
                                 "115200 N 8 3"}) {
        EXPECT_EQ(openPort(comm, 1, settings), 0) << settings;
    }
    // A pseudo-terminal cannot do parity: the device refuses it, which also gives 0.
    EXPECT_EQ(openPort(comm, 1, "115200 E 8 1"), 0);
    EXPECT_EQ(openPort(comm, 1), 1);
}

TEST(SerialPortControl, PortHeldByAnotherGivesZero)
{
    Pty pty;
    SerialPortControl first(PortMap({pty.slavePath()}));
    SerialPortControl second(PortMap({pty.slavePath()}));
    ASSERT_EQ(openPort(first, 1), 1);
    EXPECT_EQ(openPort(second, 1), 0);
    first.setPortOpen(false);
    EXPECT_EQ(openPort(second, 1), 1);
}

TEST(SerialPortControl, PortNumberCannotChangeWhileOpen)
{
    Pty pty;
    SerialPortControl comm(PortMap({pty.slavePath(), pty.slavePath()}));
    ASSERT_EQ(openPort(comm, 1), 1);
    EXPECT_THROW(comm.setCommPort(2), CommError);
    EXPECT_THROW(comm.setPortOpen(true), CommError);
    comm.setOutput("620001");
    EXPECT_EQ(pty.readNow(), "620001");
}

TEST(SerialPortControl, TalkativeFarEndDoesNotGrowMemory)
{
    Pty pty;
    SerialPortControl comm(PortMap({pty.slavePath()}));
    ASSERT_EQ(openPort(comm, 1), 1);
    const std::string chunk(4096, 'x');
    processEventsFor(50ms);
    const long before = residentKiB();
    std::size_t sent = 0;
    QElapsedTimer timer;
    timer.start();
    while (sent < 16u * 1024 * 1024 && timer.elapsed() < 20000) {
        sent += pty.writeSome(chunk);
        QCoreApplication::processEvents();
    }
    processEventsFor(50ms);
    EXPECT_GT(sent, 4u * 1024 * 1024) << "the panel stopped taking what the line brings";
#ifndef __SANITIZE_ADDRESS__
    // (AddressSanitizer keeps freed memory in quarantine, so resident size says nothing there.)
    EXPECT_LT(residentKiB() - before, 4096) << "received bytes pile up";
#else
    static_cast<void>(before);
#endif
    pty.readNow();
    comm.setOutput("620005");
    EXPECT_EQ(pty.readBytes(6, 1s), "620005");
}

TEST(SerialPortControl, VanishedDeviceIsClosedAndComesBackAtTheSamePath)
{
    const std::string link = std::filesystem::temp_directory_path() /
                             ("rz417-port-" + std::to_string(::getpid()));
    std::filesystem::remove(link);
    auto pty = std::make_unique<Pty>();
    std::filesystem::create_symlink(pty->slavePath(), link);

    SerialPortControl comm(PortMap({link}));
    ASSERT_EQ(openPort(comm, 1), 1);
    comm.setOutput("620001");
    EXPECT_EQ(pty->readNow(), "620001");

    pty.reset();
    // The pty's number is free for others now; the path must not lead to someone else's.
    std::filesystem::remove(link);
    // Idle with the device gone: no error storm keeps a core busy.
    const auto cpuBefore = processCpuTime();
    processEventsFor(500ms);
    EXPECT_LT(processCpuTime() - cpuBefore, 250ms) << "an error storm keeps a core busy";

    try {
        comm.setOutput("620002");
        ADD_FAILURE() << "a write to a vanished device went through";
    } catch (const CommError &error) {
        EXPECT_EQ(error.code(), CommCodes::NotOpen);
    }

    // Plugged in again: the next write opens it silently and goes out.
    pty = std::make_unique<Pty>();
    std::filesystem::remove(link);
    std::filesystem::create_symlink(pty->slavePath(), link);
    comm.setOutput("620003");
    EXPECT_EQ(pty->readBytes(6, 1s), "620003");
    const termios t = pty->settings();
    EXPECT_EQ(cfgetospeed(&t), B115200);
    std::filesystem::remove(link);
}

TEST(SerialPortControl, StalledLineGivesUpWithinTheBoundedWait)
{
    Pty pty;
    SerialPortControl comm(PortMap({pty.slavePath()}));
    comm.setWriteTimeout(200ms);
    ASSERT_EQ(openPort(comm, 1), 1);

    // Nobody reads the master side: the line's buffers fill up until a write cannot finish.
    const std::string block(1024, 'A');
    bool timedOut = false;
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < 4096 && !timedOut; ++i) {
        QElapsedTimer one;
        one.start();
        try {
            comm.setOutput(block);
        } catch (const CommError &error) {
            EXPECT_EQ(error.code(), CommCodes::TxQueueFull);
            timedOut = true;
        }
        EXPECT_LT(one.elapsed(), 2000) << "a write blocked past its bounded wait";
    }
    ASSERT_TRUE(timedOut) << "the line never filled";

    // Once the line drains, the next command goes out whole.
    while (!pty.readNow().empty()) {
    }
    comm.setOutput("620007");
    const std::string tail = pty.readBytes(6, 1s);
    EXPECT_EQ(tail.substr(tail.size() >= 6 ? tail.size() - 6 : 0), "620007");
}

// The stream cut into frames as the load reads it, six characters at a time from the start.
std::vector<std::string> framesOf(const std::string &stream)
{
    std::vector<std::string> frames;
    for (std::size_t i = 0; i < stream.size(); i += 6)
        frames.push_back(stream.substr(i, 6));
    return frames;
}

TEST(SerialPortControl, AStalledLineNeverGluesAFrameToThePartOfAnother)
{
    Pty pty;
    SerialPortControl comm(PortMap({pty.slavePath()}));
    comm.setWriteTimeout(200ms);
    ASSERT_EQ(openPort(comm, 1), 1);

    // Nobody reads: the line takes frames until one does not fit, the buffers beyond recall
    // holding what went before it.
    bool stalled = false;
    for (int i = 0; i < 20000 && !stalled; ++i) {
        try {
            comm.setOutput("620064");
        } catch (const CommError &error) {
            EXPECT_EQ(error.code(), CommCodes::TxQueueFull);
            stalled = true;
        }
    }
    ASSERT_TRUE(stalled) << "the line never filled";
    // The input-off frame while the line is still stalled: refused, or taken whole.
    int offs = 1;
    try {
        comm.setOutput("66FFFF");
    } catch (const CommError &error) {
        EXPECT_EQ(error.code(), CommCodes::TxQueueFull);
        offs = 0;
    }
    // The line moves again, and the off frame goes out once more.
    // The kernel moves what waits between the pseudo-terminal's buffers in the background: the
    // line is drained once nothing more comes for a while.
    std::string stream;
    for (std::string part = pty.readBytes(1 << 20, 200ms); !part.empty();
         part = pty.readBytes(1 << 20, 200ms))
        stream += part;
    comm.setOutput("66FFFF");
    ++offs;
    stream += pty.readBytes(6 * static_cast<std::size_t>(offs) + 6, 500ms);

    const std::vector<std::string> frames = framesOf(stream);
    ASSERT_EQ(stream.size() % 6, 0u)
        << "a partial frame was left: ..." << stream.substr(stream.size() - 12);
    for (std::size_t i = 0; i < frames.size(); ++i) {
        const bool off = i + static_cast<std::size_t>(offs) >= frames.size();
        ASSERT_EQ(frames[i], off ? "66FFFF" : "620064") << "frame " << i << " of " << frames.size();
    }
}

} // namespace
} // namespace rz417::test
