#pragma once

#include "scpi/ProgramMessage.h"

#include <string>
#include <vector>

namespace rz417::scpi {

class Call;
using Handler = bool (*)(Call &);

// One command of the tree: its header in SCPI notation (upper case is the short form, [...] may
// be left out), whether it takes a setting and a query, and the handler that runs it with its
// own argument (a mode, a register).
struct Command
{
    const char *pattern;
    bool set;
    bool query;
    Handler handler;
    int arg;
};

// The RZ-417's commands (Commands.cpp): adding one is a row and its handler.
const std::vector<Command> &commands();

// The command a header names, or the error that says why it names none.
struct HeaderMatch
{
    const Command *command = nullptr; // nothing when the header names none
    int errorCode = 0;
    std::string errorText;
};

// Looks up a header given as its whole path from the root (the message's path already applied),
// in short or long form and any case.
HeaderMatch findCommand(const std::vector<Node> &path, bool common, bool query);

} // namespace rz417::scpi
