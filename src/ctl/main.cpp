// rz417ctl: the RZ-417 from a shell script, with the panel's own frames.

#include "cli/CommandLine.h"
#include "cli/Console.h"
#include "ctl/Commands.h"
#include "ctl/Session.h"
#include "link/CrashGuard.h"
#include "serial/HostPorts.h"
#include "serial/PortList.h"

#include <cstdio>

#ifndef RZ417_VERSION
#define RZ417_VERSION "unknown"
#endif

int main(int argc, char *argv[])
{
    using namespace rz417::cli;
    // A fault anywhere from here on switches off what may be on before the process dies.
    rz417::crashguard::install("rz417ctl");
    useUtf8Console();
    const ParsedCommandLine parsed = parseCommandLine(commandLineWords(argc, argv));
    if (!parsed.error.empty()) {
        std::fprintf(stderr, "rz417ctl: %s\nTry 'rz417ctl --help'.\n", parsed.error.c_str());
        return kExitUsage;
    }
    const Invocation &invocation = parsed.invocation;
    switch (invocation.action) {
    case Action::Help:
        std::fputs(helpText(invocation.helpTopic).c_str(), stdout);
        return 0;
    case Action::Version:
        std::printf("rz417ctl %s\n", RZ417_VERSION);
        return 0;
    case Action::Ports:
        std::fputs(portListText(rz417::hostPortMap()).c_str(), stdout);
        return 0;
    case Action::Run:
        return runProgram(invocation);
    case Action::Serve:
        return serveScpi(invocation);
    case Action::Measure:
        return measuredTest(invocation);
    case Action::Send:
        break;
    }
    return sendCommands(invocation);
}
