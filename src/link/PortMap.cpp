#include "link/PortMap.h"

#include <algorithm>

namespace rz417 {

namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

std::string baseName(const std::string &path)
{
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool isUsbAdapter(const std::string &path)
{
    const std::string name = baseName(path);
    return name.rfind("ttyUSB", 0) == 0 || name.rfind("ttyACM", 0) == 0;
}

} // namespace

bool naturalLess(const std::string &a, const std::string &b)
{
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
        if (isDigit(a[i]) && isDigit(b[j])) {
            std::size_t ie = i;
            std::size_t je = j;
            while (ie < a.size() && isDigit(a[ie]))
                ++ie;
            while (je < b.size() && isDigit(b[je]))
                ++je;
            // Compare the digit runs by value without converting: skip leading zeros, then the
            // longer run is the larger number.
            std::size_t ia = i;
            std::size_t jb = j;
            while (ia + 1 < ie && a[ia] == '0')
                ++ia;
            while (jb + 1 < je && b[jb] == '0')
                ++jb;
            if (ie - ia != je - jb)
                return ie - ia < je - jb;
            const int cmp = a.compare(ia, ie - ia, b, jb, je - jb);
            if (cmp != 0)
                return cmp < 0;
            i = ie;
            j = je;
        } else {
            if (a[i] != b[j])
                return a[i] < b[j];
            ++i;
            ++j;
        }
    }
    if ((a.size() - i) != (b.size() - j))
        return a.size() - i < b.size() - j;
    return a < b;
}

PortMap PortMap::fromList(const std::string &list, const std::string &workingDir)
{
    std::vector<std::string> paths;
    auto add = [&](std::string entry) {
        if (!entry.empty() && entry.front() != '/') {
            const bool slash = !workingDir.empty() && workingDir.back() == '/';
            entry = workingDir + (slash ? "" : "/") + entry;
        }
        paths.push_back(std::move(entry));
    };
    std::string entry;
    for (const char c : list) {
        if (c == ':') {
            add(entry);
            entry.clear();
        } else {
            entry += c;
        }
    }
    add(entry);
    return PortMap(std::move(paths));
}

PortMap PortMap::fromDevices(std::vector<std::string> devices)
{
    std::stable_sort(devices.begin(), devices.end(),
                     [](const std::string &a, const std::string &b) {
                         const bool usbA = isUsbAdapter(a);
                         const bool usbB = isUsbAdapter(b);
                         if (usbA != usbB)
                             return usbA;
                         return naturalLess(baseName(a), baseName(b));
                     });
    return PortMap(std::move(devices));
}

PortMap PortMap::windows()
{
    PortMap map;
    map.m_windows = true;
    return map;
}

std::string PortMap::path(int port) const
{
    if (port < 1)
        return {};
    if (m_windows)
        return "COM" + std::to_string(port);
    const auto index = static_cast<std::size_t>(port - 1);
    return index < m_paths.size() ? m_paths[index] : std::string();
}

} // namespace rz417
