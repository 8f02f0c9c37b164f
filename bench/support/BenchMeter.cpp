#include "support/BenchMeter.h"

#include "support/ScpiClient.h"
#include "support/Stats.h"

#include <arpa/inet.h>
#include <cstdio>
#include <cstdlib>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

namespace rz417::bench {

int listenLoopback(int &port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
        ::listen(fd, 1) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &size) != 0) {
        std::fprintf(stderr, "bench: no loopback socket\n");
        std::exit(1);
    }
    port = ntohs(address.sin_port);
    return fd;
}

void BenchMeter::serve(int listener)
{
    const int fd = ::accept(listener, nullptr, nullptr);
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    std::string pending;
    for (;;) {
        const std::string query = readLine(fd, pending);
        if (query == "*IDN?") {
            sendAll(fd, "BENCH,DMM,0,1\n");
            continue;
        }
        queries.push_back(Clock::now());
        const bool low = static_cast<int>(queries.size()) > highCount;
        const bool last = low && static_cast<int>(queries.size()) == highCount + lowCount;
        if (last)
            secondLowSent = Clock::now();
        sendAll(fd, low ? "+2.50000E+00\n" : "+3.70000E+00\n");
        answers.push_back(Clock::now());
        if (last)
            break;
    }
    ::close(fd);
}

std::vector<double> scheduleLateness(const std::vector<Clock::time_point> &q, double intervalMs)
{
    double origin = 1e300;
    for (std::size_t k = 0; k < q.size(); ++k)
        origin = std::min(origin, millisecondsBetween(q[0], q[k]) - intervalMs * double(k));
    std::vector<double> late;
    for (std::size_t k = 0; k < q.size(); ++k)
        late.push_back(millisecondsBetween(q[0], q[k]) - intervalMs * double(k) - origin);
    return late;
}

} // namespace rz417::bench
