#include "cli/Console.h"

#include <sys/ioctl.h>
#include <unistd.h>

namespace rz417::cli {

std::vector<std::string> commandLineWords(int argc, char *argv[])
{
    return argc > 1 ? std::vector<std::string>(argv + 1, argv + argc) : std::vector<std::string>();
}

void useUtf8Console() {}

bool isTerminal(std::FILE *stream)
{
    return ::isatty(::fileno(stream)) == 1;
}

int terminalColumns(std::FILE *stream)
{
    winsize size = {};
    return ::ioctl(::fileno(stream), TIOCGWINSZ, &size) == 0 ? size.ws_col : 0;
}

} // namespace rz417::cli
