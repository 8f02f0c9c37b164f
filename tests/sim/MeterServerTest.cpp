#include "MeterServer.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace rz417::sim {
namespace {

TEST(MeterServer, AnswersItsIdentityAndTheVoltage)
{
    MeterServer meter;
    std::string error;
    ASSERT_TRUE(meter.listen("0", error)) << error;
    const int port = std::stoi(meter.where().substr(meter.where().rfind(':') + 1));
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    const std::string queries = "*IDN?\nmeas:volt:dc?\r\nSYST:ERR?\nMEAS:VOLT?\n";
    ASSERT_EQ(::send(fd, queries.data(), queries.size(), 0), ssize_t(queries.size()));

    const std::string expected = "RZ417-SIM,METER,0,1.00\n+3.71234000E+00\n+3.71234000E+00\n";
    std::string answers;
    for (int round = 0; round < 200 && answers.size() < expected.size(); ++round) {
        std::vector<pollfd> fds;
        meter.addTo(fds);
        fds.push_back({fd, POLLIN, 0});
        ::poll(fds.data(), fds.size(), 50);
        meter.serve(fds, [] { return 3.71234; });
        if (fds.back().revents & POLLIN) {
            char buffer[256];
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n > 0)
                answers.append(buffer, static_cast<std::size_t>(n));
        }
    }
    ::close(fd);
    EXPECT_EQ(answers, expected);
}

TEST(MeterServer, RefusesWhatIsNoAddress)
{
    for (const char *where : {"", "5025x", "70000", "host:5025", "127.0.0.1:"}) {
        MeterServer meter;
        std::string error;
        EXPECT_FALSE(meter.listen(where, error)) << where;
        EXPECT_NE(error.find("[ADDRESS:]PORT"), std::string::npos) << error;
    }
}

} // namespace
} // namespace rz417::sim
