// The bench's side of a SCPI server over loopback: starting one, pinning it, and its client.
#include "support/ScpiClient.h"

#include "support/FarEnd.h"
#include "support/Stats.h"

#include <arpa/inet.h>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace rz417::bench {
namespace {

[[noreturn]] void fail(const std::string &text)
{
    std::fprintf(stderr, "scpi client: %s\n", text.c_str());
    std::exit(1);
}

} // namespace

void pinProcess(pid_t pid, const cpu_set_t &cpus)
{
    bool any = false;
    std::error_code error;
    for (const auto &task :
         std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/task", error))
        any |=
            ::sched_setaffinity(std::atoi(task.path().filename().c_str()), sizeof cpus, &cpus) == 0;
    if (!any)
        fail("could not set the CPU affinity of " + std::to_string(pid));
}

Child spawnListening(const std::vector<std::string> &args, bool portOnStderr)
{
    int pipeFd[2];
    if (::pipe(pipeFd) != 0)
        fail("pipe");
    std::vector<char *> argv;
    for (const std::string &arg : args)
        argv.push_back(const_cast<char *>(arg.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFd[1],
                                     portOnStderr ? STDERR_FILENO : STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipeFd[0]);
    Child child;
    if (posix_spawn(&child.pid, argv[0], &actions, nullptr, argv.data(), environ) != 0)
        fail("cannot start " + args[0]);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFd[1]);
    std::string text;
    char c;
    while (text.find('\n') == std::string::npos && ::read(pipeFd[0], &c, 1) == 1)
        text += c;
    ::close(pipeFd[0]);
    // "5025" from the floor, "rz417ctl: serving SCPI on 127.0.0.1:5025 for ..." from the server.
    const auto colon = portOnStderr ? text.find(':', text.find(" on ")) : std::string::npos;
    child.port = std::atoi(text.c_str() + (colon == std::string::npos ? 0 : colon + 1));
    if (child.port <= 0)
        fail(args[0] + " told no port: " + text);
    return child;
}

void stop(const Child &child)
{
    ::kill(child.pid, SIGTERM);
    int status = 0;
    ::waitpid(child.pid, &status, 0);
}

int connectTo(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0)
        fail("cannot connect to port " + std::to_string(port));
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return fd;
}

void sendAll(int fd, const std::string &text)
{
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::send(fd, text.data() + done, text.size() - done, MSG_NOSIGNAL);
        if (n <= 0)
            fail("send failed");
        done += static_cast<std::size_t>(n);
    }
}

std::string readLine(int fd, std::string &pending)
{
    for (;;) {
        const auto end = pending.find('\n');
        if (end != std::string::npos) {
            std::string line = pending.substr(0, end);
            pending.erase(0, end + 1);
            return line;
        }
        char buffer[4096];
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0)
            fail("the connection closed");
        pending.append(buffer, static_cast<std::size_t>(n));
    }
}

Trips idnTrips(int port, int count)
{
    const int fd = connectTo(port);
    std::string pending;
    Trips trips;
    const auto began = Clock::now();
    for (int i = 0; i < count; ++i) {
        const auto start = Clock::now();
        sendAll(fd, "*IDN?\n");
        if (readLine(fd, pending) != "QUENDA,RZ-417,0,1.00")
            fail("a wrong identity");
        trips.ms.push_back(millisecondsBetween(start, Clock::now()));
    }
    trips.perSecond = count / (millisecondsBetween(began, Clock::now()) / 1000.0);
    ::close(fd);
    return trips;
}

} // namespace rz417::bench
