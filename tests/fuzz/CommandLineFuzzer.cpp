// Any command line (words split at newlines) is either refused with one printable message that
// is not too long, or gives commands whose setpoints lie in their mode's range, read back the
// same from their own text, and make six-character frames.
#include "cli/CommandLine.h"
#include "protocol/Modes.h"
#include "protocol/SetpointValue.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::vector<std::string> args;
    std::string word;
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == '\n') {
            args.push_back(word);
            word.clear();
        } else {
            word += static_cast<char>(data[i]);
        }
    }
    if (size > 0)
        args.push_back(word);
    const rz417::cli::ParsedCommandLine parsed = rz417::cli::parseCommandLine(args);
    if (!parsed.error.empty()) {
        // Words are quoted with control bytes escaped and cut short, so the message stays one
        // readable line whatever was typed.
        if (parsed.error.size() > 600 || !parsed.invocation.commands.empty())
            std::abort();
        for (const char c : parsed.error) {
            if (static_cast<unsigned char>(c) < 0x20)
                std::abort();
        }
        return 0;
    }
    for (const rz417::cli::Command &command : parsed.invocation.commands) {
        if (command.kind == rz417::cli::CommandKind::Wait &&
            (command.wait.count() < 0 || command.wait > rz417::cli::kMaxWait))
            std::abort();
        if (command.kind != rz417::cli::CommandKind::Setpoint)
            continue;
        const rz417::ModeInfo *mode = rz417::modeInfo(command.mode);
        if (!mode || command.value < 0 || command.value > mode->rangeTop)
            std::abort();
        const auto again =
            rz417::parseSetpoint(command.mode, rz417::fixedText(command.value, mode->decimals));
        if (!again.value || *again.value != command.value)
            std::abort();
    }
    for (const auto &planned : rz417::cli::planFrames(parsed.invocation.commands)) {
        if (!planned.frame.empty() &&
            (planned.frame.size() != 6 ||
             planned.frame.find_first_not_of("0123456789ABCDEF") != std::string::npos ||
             planned.meaning.empty()))
            std::abort();
    }
    return 0;
}
