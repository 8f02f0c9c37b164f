#include "cli/Console.h"

#include "protocol/WindowsText_windows.h"

#include <windows.h>

#include <algorithm>

#include <io.h>
#include <shellapi.h>

namespace rz417::cli {

std::vector<std::string> commandLineWords(int, char *[])
{
    // argv holds the words in the ANSI code page, which loses what it cannot show.
    int count = 0;
    wchar_t **words = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    std::vector<std::string> out;
    for (int i = 1; words && i < count; ++i)
        out.push_back(windows::utf8(words[i]));
    if (words)
        ::LocalFree(words);
    return out;
}

void useUtf8Console()
{
    ::SetConsoleOutputCP(CP_UTF8);
    // The progress line redraws itself with \r and an erase to the end of the line.
    for (const DWORD which : {STD_OUTPUT_HANDLE, STD_ERROR_HANDLE}) {
        const HANDLE console = ::GetStdHandle(which);
        DWORD mode = 0;
        if (::GetConsoleMode(console, &mode))
            ::SetConsoleMode(console, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
    }
}

namespace {

HANDLE consoleOf(std::FILE *stream)
{
    return reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(stream)));
}

} // namespace

bool isTerminal(std::FILE *stream)
{
    DWORD mode = 0;
    return ::GetConsoleMode(consoleOf(stream), &mode) != FALSE;
}

int terminalColumns(std::FILE *stream)
{
    CONSOLE_SCREEN_BUFFER_INFO info = {};
    if (!::GetConsoleScreenBufferInfo(consoleOf(stream), &info))
        return 0;
    return info.srWindow.Right - info.srWindow.Left + 1;
}

bool writeWhole(std::FILE *stream, std::string_view text)
{
    const HANDLE handle = consoleOf(stream);
    while (!text.empty()) {
        DWORD written = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(text.size(), 1 << 16));
        if (!::WriteFile(handle, text.data(), chunk, &written, nullptr) || written == 0)
            return false;
        text.remove_prefix(written);
    }
    return true;
}

} // namespace rz417::cli
