#pragma once

#include <string>
#include <vector>

namespace rz417 {

// Which device stands behind each port number (1-based).
class PortMap
{
public:
    PortMap() = default;
    explicit PortMap(std::vector<std::string> paths) : m_paths(std::move(paths)) {}

    // A ':'-separated list of device paths: entry n is port n, an empty entry is no device.
    // A relative entry is taken from workingDir.
    static PortMap fromList(const std::string &list, const std::string &workingDir = "/");
    // The host's serial devices (full paths): USB adapters (ttyUSB*, ttyACM*) first, then the
    // rest, each group in natural order (ttyUSB2 before ttyUSB10).
    static PortMap fromDevices(std::vector<std::string> devices);
    // COMn for every n, as on Windows.
    static PortMap windows();

    // The device of port n, or an empty string when there is none.
    std::string path(int port) const;
    // How many numbers the list covers (none for COMn, which has no end).
    std::size_t size() const { return m_paths.size(); }

private:
    std::vector<std::string> m_paths;
    bool m_windows = false;
};

// Natural order of device names: runs of digits compare by value.
bool naturalLess(const std::string &a, const std::string &b);

} // namespace rz417
