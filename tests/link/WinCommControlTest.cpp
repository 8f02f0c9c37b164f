#include "link/WinCommControl_windows.h"
#include "panel/FrontPanel.h"
#include "support/Fakes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace rz417::test {
namespace {

// The system as the control sees it, scripted: which call fails with which error, and every
// call in order.
struct FakeSystem
{
    DWORD openError = 0;      // CreateFileW fails with this
    bool refuseState = false; // SetCommState fails
    bool failFlush = false;   // FlushFileBuffers fails
    DWORD writeError = 0;     // WriteFile fails with this
    bool writeShort = false;  // WriteFile times out, taking only part
    DWORD lastError = 0;
    std::vector<std::string> calls;
    std::wstring openedPath;
    DCB dcb = {};
    COMMTIMEOUTS timeouts = {};
    std::string line; // what went out
};

FakeSystem g_system;
HANDLE const kHandle = reinterpret_cast<HANDLE>(0x1234);

BOOL fail(DWORD error)
{
    g_system.lastError = error;
    return FALSE;
}

const WinCommApi kFakeApi = {
    [](const wchar_t *path) {
        g_system.calls.push_back("open");
        g_system.openedPath = path;
        if (g_system.openError != 0) {
            g_system.lastError = g_system.openError;
            return INVALID_HANDLE_VALUE;
        }
        return kHandle;
    },
    [](HANDLE, DCB *dcb) {
        *dcb = DCB{};
        dcb->DCBlength = sizeof *dcb;
        // A driver's defaults that must not survive: hardware flow control and XON/XOFF.
        dcb->fOutxCtsFlow = TRUE;
        dcb->fRtsControl = RTS_CONTROL_HANDSHAKE;
        dcb->fOutX = TRUE;
        dcb->fInX = TRUE;
        return TRUE;
    },
    [](HANDLE, DCB *dcb) {
        g_system.calls.push_back("state");
        g_system.dcb = *dcb;
        return g_system.refuseState ? fail(ERROR_INVALID_PARAMETER) : TRUE;
    },
    [](HANDLE, COMMTIMEOUTS *timeouts) {
        g_system.timeouts = *timeouts;
        return TRUE;
    },
    [](HANDLE, const void *data, DWORD size, DWORD *written) {
        g_system.calls.push_back("write");
        if (g_system.writeError != 0)
            return fail(g_system.writeError);
        *written = g_system.writeShort ? size / 2 : size;
        g_system.line.append(static_cast<const char *>(data), *written);
        return TRUE;
    },
    [](HANDLE, DWORD flags) {
        if (flags & PURGE_TXABORT)
            g_system.calls.push_back("purge-tx");
        return TRUE;
    },
    [](HANDLE) {
        g_system.calls.push_back("flush");
        return g_system.failFlush ? fail(ERROR_GEN_FAILURE) : TRUE;
    },
    [](HANDLE) {
        g_system.calls.push_back("close");
        return TRUE;
    },
    [] { return g_system.lastError; },
};

class WinComm : public testing::Test
{
protected:
    void SetUp() override { g_system = FakeSystem(); }

    // OpenCommPort's calls, through the panel as start-up makes them.
    int16_t openPort(int16_t port)
    {
        FakeCaptions captions;
        FakePlatform platform;
        FrontPanel panel(captions, platform, m_comm);
        const int16_t result = panel.OpenCommPort(port, "115200 N 8 1");
        EXPECT_TRUE(platform.boxes.empty()) << "opening never shows anything";
        return result;
    }
    // The CommError a failed open raises.
    CommError refusal(int16_t port)
    {
        m_comm.setCommPort(port);
        m_comm.setSettings("115200 N 8 1");
        try {
            m_comm.setPortOpen(true);
        } catch (const CommError &error) {
            return error;
        }
        ADD_FAILURE() << "the port opened";
        return CommError(0, "");
    }

    WinCommControl m_comm{PortMap::windows(), kFakeApi};
};

TEST_F(WinComm, OpensComNAs115200N81WithoutFlowControl)
{
    for (const int16_t port : {int16_t{3}, int16_t{12}}) {
        SetUp();
        EXPECT_EQ(openPort(port), port);
        EXPECT_EQ(g_system.openedPath, L"\\\\.\\COM" + std::to_wstring(port));
        const DCB &dcb = g_system.dcb;
        EXPECT_EQ(dcb.BaudRate, 115200u);
        EXPECT_EQ(dcb.ByteSize, 8);
        EXPECT_EQ(dcb.Parity, NOPARITY);
        EXPECT_EQ(dcb.StopBits, ONESTOPBIT);
        EXPECT_TRUE(dcb.fBinary);
        EXPECT_FALSE(dcb.fOutxCtsFlow || dcb.fOutxDsrFlow || dcb.fOutX || dcb.fInX);
        EXPECT_NE(dcb.fRtsControl, static_cast<DWORD>(RTS_CONTROL_HANDSHAKE));
        EXPECT_EQ(g_system.timeouts.WriteTotalTimeoutConstant, 1000u) << "writes are bounded";
        m_comm.setPortOpen(false);
    }
}

TEST_F(WinComm, RefusalsInWordsTheUserCanActOn)
{
    const struct
    {
        DWORD openError;
        bool refuseState;
        const char *refusal;
    } cases[] = {
        {ERROR_ACCESS_DENIED, false, "COM3: in use by another program"},
        {ERROR_FILE_NOT_FOUND, false, ""}, // nothing to act on; what() says "no such port"
        {0, true, "COM3: refused the line settings: "},
    };
    for (const auto &c : cases) {
        SetUp();
        g_system.openError = c.openError;
        g_system.refuseState = c.refuseState;
        const CommError error = refusal(3);
        EXPECT_EQ(error.code(), CommCodes::NoHardware) << c.refusal;
        EXPECT_EQ(error.refusal().rfind(c.refusal, 0), 0u) << error.refusal();
        if (!*c.refusal) {
            EXPECT_TRUE(error.refusal().empty());
            EXPECT_STREQ(error.what(), "no such port");
        }
        EXPECT_FALSE(m_comm.isDeviceOpen());
        // A settings refusal releases the device it had opened.
        EXPECT_EQ(g_system.calls.back(), c.refuseState ? "close" : "open");
        // Start-up moves on: the next number opens normally.
        SetUp();
        EXPECT_EQ(openPort(4), 4);
        m_comm.setPortOpen(false);
    }
}

TEST_F(WinComm, CloseDrainsTheLineBeforeTheHandleGoes)
{
    ASSERT_EQ(openPort(1), 1);
    m_comm.setOutput("6204D2");
    m_comm.setPortOpen(false);
    EXPECT_EQ(g_system.line, "6204D2");
    const std::vector<std::string> order = {"open", "state", "write", "flush", "close"};
    EXPECT_EQ(g_system.calls, order);
}

TEST_F(WinComm, AFailedDrainClosesAndIsAFailedWrite)
{
    ASSERT_EQ(openPort(1), 1);
    m_comm.setOutput("6600FF");
    g_system.failFlush = true;
    try {
        m_comm.setPortOpen(false);
        ADD_FAILURE() << "a failed drain passed silently";
    } catch (const CommError &error) {
        EXPECT_EQ(error.code(), CommCodes::NoHardware);
    }
    EXPECT_EQ(g_system.calls.back(), "close");
    EXPECT_FALSE(m_comm.isDeviceOpen());
    // The port is closed all the same: it opens again.
    g_system.failFlush = false;
    EXPECT_EQ(openPort(1), 1);
}

TEST_F(WinComm, WriteFailures)
{
    const struct
    {
        bool timeOut;
        DWORD error;
        int16_t code;
        bool staysOpen;
    } cases[] = {
        {true, 0, CommCodes::TxQueueFull, true},
        {false, ERROR_SEM_TIMEOUT, CommCodes::TxQueueFull, true},
        {false, ERROR_BAD_COMMAND, CommCodes::NotOpen, false}, // the adapter was pulled
    };
    for (const auto &c : cases) {
        SetUp();
        ASSERT_EQ(openPort(1), 1);
        g_system.writeShort = c.timeOut;
        g_system.writeError = c.error;
        try {
            m_comm.setOutput("6204D2");
            ADD_FAILURE() << "a failed write passed silently";
        } catch (const CommError &error) {
            EXPECT_EQ(error.code(), c.code) << error.what();
        }
        EXPECT_EQ(m_comm.isDeviceOpen(), c.staysOpen);
        // What the driver took of a frame is beyond recall: nothing it holds is purged, and the
        // rest of that frame goes first, so that the next one is not read as its end.
        EXPECT_EQ(std::count(g_system.calls.begin(), g_system.calls.end(), "purge-tx"), 0);
        // The next write goes out, on a device opened again where it was lost.
        g_system.writeShort = false;
        g_system.writeError = 0;
        g_system.line.clear();
        m_comm.setOutput("6600FF");
        EXPECT_EQ(g_system.line, c.timeOut ? "4D26600FF" : "6600FF");
        EXPECT_EQ(std::count(g_system.calls.begin(), g_system.calls.end(), "open"),
                  c.staysOpen ? 1 : 2);
        m_comm.setPortOpen(false);
    }
}

TEST_F(WinComm, PropertyContract)
{
    EXPECT_THROW(m_comm.setCommPort(0), CommError);
    EXPECT_THROW(m_comm.setSettings("115200 X 8 1"), CommError);
    EXPECT_THROW(m_comm.setOutput("6204D2"), CommError) << "not open";
    ASSERT_EQ(openPort(2), 2);
    try {
        m_comm.setCommPort(3);
        ADD_FAILURE() << "the number changed under an open port";
    } catch (const CommError &error) {
        EXPECT_EQ(error.code(), CommCodes::AlreadyOpen);
    }
    m_comm.release();
    EXPECT_EQ(g_system.calls.back(), "close");
    EXPECT_EQ(g_system.calls[g_system.calls.size() - 2], "flush");
}

} // namespace
} // namespace rz417::test
