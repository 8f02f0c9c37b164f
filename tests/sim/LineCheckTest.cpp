#include "LineCheck.h"

#include "CaseName.h"

#include <gtest/gtest.h>

#include <string>

namespace rz417::sim {
namespace {

struct LineCase
{
    const char *name;
    speed_t outSpeed;
    speed_t inSpeed;
    tcflag_t size;
    tcflag_t extra; // parity and stop-bit flags
    const char *described;
    bool ok;
};

class LineCheckTest : public ::testing::TestWithParam<LineCase>
{
};

TEST_P(LineCheckTest, ReadsTheSettingsOffTheTerminal)
{
    const LineCase &c = GetParam();
    termios attributes = {};
    cfmakeraw(&attributes);
    attributes.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB);
    attributes.c_cflag |= c.size | c.extra;
    cfsetospeed(&attributes, c.outSpeed);
    cfsetispeed(&attributes, c.inSpeed);

    const LineSettings settings = lineSettings(attributes);
    EXPECT_EQ(describe(settings), c.described);
    const auto problem = lineProblem(settings);
    EXPECT_EQ(!problem.has_value(), c.ok);
    if (problem) {
        EXPECT_NE(problem->find(c.described), std::string::npos) << *problem;
        EXPECT_EQ(problem->find('\n'), std::string::npos) << "one line";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Settings, LineCheckTest,
    ::testing::Values(
        LineCase{"Expected", B115200, B115200, CS8, 0, "115200 baud 8N1", true},
        LineCase{"InputSpeedZeroMeansSameAsOutput", B115200, B0, CS8, 0, "115200 baud 8N1", true},
        LineCase{"NonStandardSpeed", B4000000, B4000000, CS8, 0, "non-standard baud 8N1", false},
        LineCase{"WrongSpeed", B9600, B9600, CS8, 0, "9600 baud 8N1", false},
        LineCase{"TerminalDefault", B38400, B38400, CS8, 0, "38400 baud 8N1", false},
        LineCase{"SevenBitsEvenParity", B115200, B115200, CS7, PARENB, "115200 baud 7E1", false},
        LineCase{"OddParity", B115200, B115200, CS8, PARENB | PARODD, "115200 baud 8O1", false},
        LineCase{"MarkParity", B115200, B115200, CS8, PARENB | PARODD | CMSPAR, "115200 baud 8M1",
                 false},
        LineCase{"TwoStopBits", B115200, B115200, CS8, CSTOPB, "115200 baud 8N2", false},
        LineCase{"FiveBits", B115200, B115200, CS5, 0, "115200 baud 5N1", false}),
    CaseName());

} // namespace
} // namespace rz417::sim
