// Any RZ417_PORTS value maps each port number to nothing or to one absolute path from the list.
#include "link/PortMap.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string list(reinterpret_cast<const char *>(data), size);
    const rz417::PortMap map = rz417::PortMap::fromList(list, "/work");
    std::size_t entries = 1;
    for (const char c : list)
        entries += c == ':';
    for (int port = -1; port <= static_cast<int>(entries) + 2; ++port) {
        const std::string path = map.path(port);
        if (path.empty())
            continue;
        if (port < 1 || static_cast<std::size_t>(port) > entries)
            std::abort();
        if (path.front() != '/' || path.find(':') != std::string::npos)
            std::abort();
        if (list.find(path) == std::string::npos && path.rfind("/work/", 0) != 0)
            std::abort();
    }
    return 0;
}
