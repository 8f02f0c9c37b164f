#pragma once

#include "kinds/Kinds.h"
#include "scpi/ServerOptions.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace rz417::cli {

enum class CommandKind { Setpoint, Input, Wait };

// One COMMAND word of the command line with its value, checked.
struct Command
{
    CommandKind kind = CommandKind::Setpoint;
    int16_t mode = 0;  // Setpoint: 1 to 4
    int32_t value = 0; // Setpoint: in the mode's steps
    bool on = false;   // Input
    std::chrono::milliseconds wait{0};
    std::string text; // as the user wrote it, for messages: "cc 1.5"
};

enum class Action { Send, Run, Ports, Serve, Measure, Help, Version };

struct Invocation
{
    Action action = Action::Send;
    std::optional<std::string> port; // -p, as given
    bool verbose = false;
    bool quiet = false;
    bool dryRun = false;
    std::string journal; // empty: none
    std::vector<Command> commands;
    std::string programFile; // run
    int repeat = 1;          // run: passes; 0 until interrupted
    // serve: where the SCPI server listens; this machine only unless an address is given.
    std::string listenAddress = "127.0.0.1";
    uint16_t listenPort = scpi::kScpiPort; // 0: any free port, told at start
    int watchdog = 0;                      // serve: the watchdog's delay in seconds; 0 off
    // Measure: the kind of test, its words and options as given, and the test they make.
    const kinds::Kind *kind = nullptr;
    measure::Texts texts;
    std::shared_ptr<const kinds::Test> test;
    bool json = false; // a measured test's summary as one JSON object
    std::string helpTopic; // Help: the subcommand whose options are asked for; empty for all
};

// The longest wait a command or a program step may ask for: a day.
constexpr std::chrono::milliseconds kMaxWait{24 * 60 * 60 * 1000};

// Parses the words after the program name. Every word is checked; on the first bad one error
// names it and says what is allowed (exit status 2), and nothing else is set.
struct ParsedCommandLine
{
    Invocation invocation;
    std::string error;
};
ParsedCommandLine parseCommandLine(const std::vector<std::string> &args);

// A frame a command sends, what it tells the load, and the wait that follows it.
struct PlannedFrame
{
    std::size_t command = 0; // index into the commands
    std::string frame;       // empty for a wait
    std::string meaning;
    std::chrono::milliseconds wait{0};
};
std::vector<PlannedFrame> planFrames(const std::vector<Command> &commands);

// The notices the commands earn before anything is sent (a current that goes out coarser).
std::vector<std::string> planNotices(const std::vector<Command> &commands);

// What --help prints: one screen, its usage lines and options from the table of options, the
// ranges from the modes' table. With a subcommand ("battery"), that subcommand's options.
std::string helpText(const std::string &topic = {});

} // namespace rz417::cli
