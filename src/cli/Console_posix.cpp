#include "cli/Console.h"

#include <cerrno>

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

bool writeWhole(std::FILE *stream, std::string_view text)
{
    const int fd = ::fileno(stream);
    while (!text.empty()) {
        const ssize_t n = ::write(fd, text.data(), text.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        text.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

} // namespace rz417::cli
