#include "measure/RunLog.h"

#include "protocol/WindowsText_windows.h"

#include <cstdio>
#include <string>

namespace rz417::measure {

// The narrow fopen reads a path in the ANSI code page: a log under a user's name with an accent
// would fail, so the UTF-8 path is widened.
std::FILE *openForWriting(const std::string &path)
{
    return _wfopen(windows::wide(path).c_str(), L"wb");
}

} // namespace rz417::measure
