#pragma once

#include "cli/CommandLine.h"

namespace rz417::cli {

// rz417ctl COMMAND...: sends the commands' frames in order; returns the exit status.
int sendCommands(const Invocation &invocation);

// rz417ctl run FILE: runs a setpoint program; returns the exit status.
int runProgram(const Invocation &invocation);

// rz417ctl serve: SCPI over TCP until a signal ends it; returns the exit status.
int serveScpi(const Invocation &invocation);
// rz417ctl battery, ocp, opp, sweep, dcir: a measured test to its end; returns the exit status.
int measuredTest(const Invocation &invocation);

} // namespace rz417::cli
