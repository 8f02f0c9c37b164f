#include "cli/Console.h"

#include "protocol/WindowsText_windows.h"

#include <windows.h>

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
}

} // namespace rz417::cli
