#include "link/LineSettings.h"

#include <gtest/gtest.h>

namespace rz417 {
namespace {

TEST(LineSettings, AcceptedStrings)
{
    struct Row
    {
        const char *text;
        LineSettings settings;
    };
    const Row rows[] = {
        {"115200 N 8 1", {115200, Parity::None, 8, StopBits::One}},
        {"115200,N,8,1", {115200, Parity::None, 8, StopBits::One}},
        {"9600,n,8,1", {9600, Parity::None, 8, StopBits::One}},
        {"19200 E 7 2", {19200, Parity::Even, 7, StopBits::Two}},
        {"300 O 5 1.5", {300, Parity::Odd, 5, StopBits::OneAndHalf}},
        {"1200 M 6 1", {1200, Parity::Mark, 6, StopBits::One}},
        {"1200 S 8 2", {1200, Parity::Space, 8, StopBits::Two}},
        {"  115200  N  8  1 ", {115200, Parity::None, 8, StopBits::One}},
    };
    for (const Row &row : rows) {
        const auto parsed = parseLineSettings(row.text);
        ASSERT_TRUE(parsed.has_value()) << row.text;
        EXPECT_EQ(*parsed, row.settings) << row.text;
    }
}

TEST(LineSettings, RefusedStrings)
{
    for (const char *text :
         {"", " ", "115200", "115200 N 8", "115200 N 8 1 1", "115200 X 8 1", "115200 N 9 1",
          "115200 N 4 1", "115200 N 8 3", "115200 N 8 1.0", "0 N 8 1", "-9600 N 8 1",
          "99999999 N 8 1", "4000001 N 8 1", "115200,N,8,,1", "115200,,8,1", "115200,N,8,1,",
          "115200 NN 8 1", "11a200 N 8 1", "115200\tN\t8\t1", "115200 N 8 1\n"}) {
        EXPECT_FALSE(parseLineSettings(text).has_value()) << '"' << text << '"';
    }
}

} // namespace
} // namespace rz417
