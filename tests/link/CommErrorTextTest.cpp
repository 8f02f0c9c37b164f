#include "link/CommErrorText.h"
#include "support/PanelHarness.h"

#include <gtest/gtest.h>

namespace rz417::test {
namespace {

TEST(CommErrorText, CodesToMessages)
{
    struct Row
    {
        int code; // as a 16-bit word where above 32767
        const char *text;
    };
    const Row rows[] = {
        {-1, "Invalid or Unsupported ID"},
        {-2, "Device already open"},
        {-3, "Device not Open"},
        {-4, "Unable to allocate queues"},
        {-5, "Error in default parameters"},
        {-10, "Hardware not present"},
        {-11, "Illegal byte size"},
        {-12, "Unsupported baudrate"},
        {-6, "Requested mode unsupported"},
        {-7, "Requested mode unsupported"},
        {-9, "Requested mode unsupported"},
        {-13, "Requested mode unsupported"},
        {-32768, "Requested mode unsupported"},
        {1, "Receive queue overflow"},
        {2, "Receive overrun error"},
        {4, "Receive parity error"},
        {8, "Receive framing error"},
        {9, "Receive framing error"},
        {0x10, "Break detected"},
        {0x20, "CTS timeout"},
        {0x40, "DSR timeout"},
        {0x80, "RLSD timeout"},
        {0x100, "Tx queue is full"},
        {258, "Tx queue is full"},
        {0x200, "LPTx timeout"},
        {0x400, "LPTx I/O error"},
        {0x800, "LPTx device not selected"},
        {0x1000, "LPTx out of paper"},
        {0x1001, "LPTx out of paper"},
        {0x3000, "LPTx out of paper"},
        {0x9001, "Requested mode unsupported"},
        {8192, "Unlist error : 8192 (&H2000)"},
        {16384, "Unlist error : 16384 (&H4000)"},
        {0x6000, "Unlist error : 24576 (&H6000)"},
        {0, "Unlist error : 0 (&H0)"},
    };
    for (const Row &row : rows) {
        const auto code = static_cast<int16_t>(static_cast<uint16_t>(row.code & 0xFFFF));
        EXPECT_EQ(commErrorText(code), row.text) << row.code;
    }
}

TEST(ShowCommError, OneWarningBoxWithTheFixedTitle)
{
    PanelHarness h;
    h.panel.ShowCommError(8192);
    ASSERT_EQ(h.platform.boxes.size(), 1u);
    EXPECT_EQ(h.platform.boxes[0].text, "Unlist error : 8192 (&H2000)");
    EXPECT_EQ(h.platform.boxes[0].title, "! RS-232 ERROR !");
    EXPECT_EQ(h.platform.boxes[0].style, BoxStyle::OkExclamation);
}

} // namespace
} // namespace rz417::test
