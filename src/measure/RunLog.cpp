#include "measure/RunLog.h"

#include <cerrno>
#include <cstring>

namespace rz417::measure {

bool RunLog::open(const std::string &path, const std::string &header, std::string &why)
{
    close();
    m_path = path;
    errno = 0;
    m_file = openForWriting(path);
    if (!m_file) {
        why = failure();
        return false;
    }
    if (!write(header, why)) {
        close();
        return false;
    }
    return true;
}

bool RunLog::write(const std::string &row, std::string &why)
{
    errno = 0;
    const std::string line = row + '\n';
    if (m_file && std::fwrite(line.data(), 1, line.size(), m_file) == line.size() &&
        std::fflush(m_file) == 0)
        return true;
    why = failure();
    return false;
}

void RunLog::close()
{
    if (m_file)
        std::fclose(m_file);
    m_file = nullptr;
}

std::string RunLog::failure() const
{
    return m_path + ": cannot be written (" +
           (errno != 0 ? std::strerror(errno) : "a write failed") + ")";
}

} // namespace rz417::measure
