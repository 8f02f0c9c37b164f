#include "cli/Console.h"

namespace rz417::cli {

std::vector<std::string> commandLineWords(int argc, char *argv[])
{
    return argc > 1 ? std::vector<std::string>(argv + 1, argv + argc) : std::vector<std::string>();
}

void useUtf8Console() {}

} // namespace rz417::cli
