#include "link/PortMap.h"

#include <gtest/gtest.h>

namespace rz417 {
namespace {

TEST(PortMap, ListedPaths)
{
    struct Row
    {
        const char *list;
        std::vector<std::string> ports; // ports 1.. in order; "" for no device
    };
    const Row rows[] = {
        {"/dev/ttyUSB0", {"/dev/ttyUSB0", ""}},
        {"/dev/a:/dev/b", {"/dev/a", "/dev/b", ""}},
        {"::/dev/pts/7", {"", "", "/dev/pts/7", ""}},
        {"", {"", ""}},
        {":::", {"", "", "", "", ""}},
        {"/dev/a::/dev/c", {"/dev/a", "", "/dev/c"}},
        {"port", {"/work/port"}},
        {"sub/port:/abs", {"/work/sub/port", "/abs"}},
        {"/dev/\xff\xfe", {"/dev/\xff\xfe", ""}},
    };
    for (const Row &row : rows) {
        const PortMap map = PortMap::fromList(row.list, "/work");
        for (std::size_t i = 0; i < row.ports.size(); ++i)
            EXPECT_EQ(map.path(static_cast<int>(i) + 1), row.ports[i]) << row.list << " port " << i + 1;
        EXPECT_EQ(map.path(0), "");
        EXPECT_EQ(map.path(-1), "");
    }
}

TEST(PortMap, LongListsAndLongPaths)
{
    std::string list;
    for (int n = 1; n <= 40; ++n)
        list += (n > 1 ? ":" : "") + std::string("/dev/p") + std::to_string(n);
    const PortMap many = PortMap::fromList(list);
    EXPECT_EQ(many.path(16), "/dev/p16");
    EXPECT_EQ(many.path(40), "/dev/p40");
    EXPECT_EQ(many.path(41), "");

    const std::string longPath = "/" + std::string(100000, 'a');
    EXPECT_EQ(PortMap::fromList(":" + longPath).path(2), longPath);
}

TEST(PortMap, HostDevicesUsbFirstInNaturalOrder)
{
    const PortMap map = PortMap::fromDevices({"/dev/ttyS1", "/dev/ttyUSB10", "/dev/ttyS0",
                                              "/dev/ttyACM0", "/dev/ttyUSB2", "/dev/ttyS10",
                                              "/dev/ttyS2", "/dev/ttyUSB0"});
    const std::vector<std::string> expected{"/dev/ttyACM0", "/dev/ttyUSB0", "/dev/ttyUSB2",
                                            "/dev/ttyUSB10", "/dev/ttyS0", "/dev/ttyS1",
                                            "/dev/ttyS2", "/dev/ttyS10"};
    for (std::size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(map.path(static_cast<int>(i) + 1), expected[i]);
    EXPECT_EQ(map.path(9), "");
}

TEST(PortMap, NaturalLess)
{
    EXPECT_TRUE(naturalLess("ttyUSB2", "ttyUSB10"));
    EXPECT_FALSE(naturalLess("ttyUSB10", "ttyUSB2"));
    EXPECT_TRUE(naturalLess("ttyS9", "ttyS10"));
    EXPECT_TRUE(naturalLess("a", "b"));
    EXPECT_FALSE(naturalLess("x1", "x1"));
    EXPECT_TRUE(naturalLess("x01", "x2"));
    EXPECT_TRUE(naturalLess("x99999999999999999999", "x100000000000000000000"));
}

TEST(PortMap, WindowsNames)
{
    const PortMap map = PortMap::windows();
    EXPECT_EQ(map.path(1), "COM1");
    EXPECT_EQ(map.path(16), "COM16");
    EXPECT_EQ(map.path(0), "");
}

} // namespace
} // namespace rz417
