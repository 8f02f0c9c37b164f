#include "program/Journal.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace rz417 {

class Journal::File
{
public:
    explicit File(int fd) : m_fd(fd) {}
    ~File() { ::close(m_fd); }
    File(const File &) = delete;
    File &operator=(const File &) = delete;

    // One write: with O_APPEND the kernel puts the whole line at the end in one piece.
    bool writeAll(const std::string &text) const
    {
        const ssize_t n = ::write(m_fd, text.data(), text.size());
        return n == static_cast<ssize_t>(text.size());
    }
    int fd() const { return m_fd; }

private:
    int m_fd;
};

std::unique_ptr<Journal> Journal::open(const std::string &path, std::string &error)
{
    if (path.empty()) {
        error = "no journal file named";
        return nullptr;
    }
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        error = "cannot open the journal " + path + ": " + std::strerror(errno);
        return nullptr;
    }
    auto file = std::make_unique<File>(fd);
    // Two processes that create the journal at once must not both find it new.
    ::flock(fd, LOCK_EX);
    struct stat info = {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        error = "the journal " + path + " is not a regular file";
        return nullptr;
    }
    if (info.st_size == 0 && (!file->writeAll(journalHeader()) || ::fdatasync(fd) != 0)) {
        error = "cannot write the journal " + path + ": " + std::strerror(errno);
        return nullptr;
    }
    ::flock(fd, LOCK_UN);
    return std::unique_ptr<Journal>(new Journal(std::move(file), path));
}

Journal::Journal(std::unique_ptr<File> file, std::string path)
    : m_file(std::move(file)), m_path(std::move(path))
{
}

Journal::~Journal() = default;

bool Journal::append(const JournalEntry &entry, std::string &error)
{
    errno = 0;
    if (!m_file->writeAll(journalLine(entry)) || ::fdatasync(m_file->fd()) != 0) {
        error = "cannot write the journal " + m_path + ": " +
                (errno != 0 ? std::strerror(errno) : "the disk took only part of a line");
        return false;
    }
    return true;
}

} // namespace rz417
