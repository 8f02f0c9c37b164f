/* The floor under rz417ctl serve's *IDN? round trip: a bare epoll loop on a loopback TCP port that
 * answers every line with a fixed identity line, one read and one write per wake-up. Prints the
 * port it listens on, then serves until killed.   scpi_floor */
#define _GNU_SOURCE
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <stdio.h>
#include <string.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

int main(void)
{
    static const char answer[] = "QUENDA,RZ-417,0,1.00\n";
    int server = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    struct sockaddr_in addr;
    memset(&addr, 0, sizeof addr);
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (server < 0 || bind(server, (struct sockaddr *)&addr, sizeof addr) != 0 ||
        listen(server, 16) != 0 || getsockname(server, (struct sockaddr *)&addr, &len) != 0)
        return 1;
    printf("%d\n", ntohs(addr.sin_port));
    fflush(stdout);
    int poller = epoll_create1(EPOLL_CLOEXEC);
    struct epoll_event event = {.events = EPOLLIN, .data.fd = server};
    epoll_ctl(poller, EPOLL_CTL_ADD, server, &event);
    char in[65536], out[65536];
    for (;;) {
        struct epoll_event ready[16];
        int n = epoll_wait(poller, ready, 16, -1);
        for (int i = 0; i < n; ++i) {
            int fd = ready[i].data.fd;
            if (fd == server) {
                int client = accept4(server, NULL, NULL, SOCK_CLOEXEC);
                int one = 1;
                setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
                struct epoll_event e = {.events = EPOLLIN, .data.fd = client};
                epoll_ctl(poller, EPOLL_CTL_ADD, client, &e);
                continue;
            }
            ssize_t got = read(fd, in, sizeof in);
            if (got <= 0) {
                close(fd);
                continue;
            }
            size_t used = 0;
            for (ssize_t k = 0; k < got; ++k) {
                if (in[k] == '\n' && used + sizeof answer - 1 <= sizeof out) {
                    memcpy(out + used, answer, sizeof answer - 1);
                    used += sizeof answer - 1;
                }
            }
            if (used > 0 && write(fd, out, used) < 0)
                close(fd);
        }
    }
}
