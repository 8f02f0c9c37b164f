#include "measure/RunLog.h"

#include <windows.h>

#include <cerrno>

#include <cstdio>
#include <string>

namespace rz417::measure {

// The narrow fopen reads a path in the ANSI code page: a log under a user's name with an accent
// would fail, so the UTF-8 path is widened.
std::FILE *openForWriting(const std::string &path)
{
    const int size = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path.data(),
                                         static_cast<int>(path.size()), nullptr, 0);
    if (size <= 0 && !path.empty()) {
        errno = EINVAL;
        return nullptr;
    }
    std::wstring wide(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path.data(), static_cast<int>(path.size()),
                        wide.data(), size);
    return _wfopen(wide.c_str(), L"wb");
}

} // namespace rz417::measure
