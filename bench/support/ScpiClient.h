#pragma once

#include <sched.h>
#include <string>
#include <sys/types.h>
#include <vector>

namespace rz417::bench {

// A child whose standard output (or error) the bench reads for the port it listens on.
struct Child
{
    pid_t pid = 0;
    int port = 0;
};

// Starts a server and reads the TCP port it tells: "5025" on its standard output, or
// "...serving SCPI on 127.0.0.1:5025 for ..." on its standard error.
Child spawnListening(const std::vector<std::string> &args, bool portOnStderr);
void stop(const Child &child);
// Every thread of a process onto the given CPUs.
void pinProcess(pid_t pid, const cpu_set_t &cpus);

// A loopback client with Nagle off, as VISA's raw socket is.
int connectTo(int port);
void sendAll(int fd, const std::string &text);
// Reads one answer line.
std::string readLine(int fd, std::string &pending);

struct Trips
{
    std::vector<double> ms;
    double perSecond = 0;
};

// *IDN? round trips, one after the other (what lxi benchmark -r measures).
Trips idnTrips(int port, int count);

} // namespace rz417::bench
