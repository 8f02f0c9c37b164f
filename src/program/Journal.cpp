#include "program/Journal.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace rz417 {

namespace {

std::string two(long value)
{
    return (value < 10 ? "0" : "") + std::to_string(value);
}

// ISO 8601 local time with milliseconds and the UTC offset.
std::string localTime(std::chrono::system_clock::time_point time)
{
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
        time.time_since_epoch());
    std::time_t seconds = static_cast<std::time_t>(ms.count() / 1000);
    long millis = static_cast<long>(ms.count() % 1000);
    if (millis < 0) {
        millis += 1000;
        --seconds;
    }
    std::tm tm = {};
    ::localtime_r(&seconds, &tm);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%S", &tm);
    const long offset = tm.tm_gmtoff / 60;
    const long absOffset = offset < 0 ? -offset : offset;
    std::string text = stamp;
    text += "." + std::string(millis < 100 ? (millis < 10 ? "00" : "0") : "") +
            std::to_string(millis);
    text += (offset < 0 ? "-" : "+") + two(absOffset / 60) + ":" + two(absOffset % 60);
    return text;
}

std::string csvField(const std::string &text)
{
    if (text.find_first_of(",\"\r\n") == std::string::npos)
        return text;
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"')
            out += '"';
        out += c;
    }
    return out + "\"";
}

std::string number(int value)
{
    return value > 0 ? std::to_string(value) : std::string();
}

bool writeAll(int fd, const std::string &text)
{
    // One write: with O_APPEND the kernel puts the whole line at the end in one piece.
    const ssize_t n = ::write(fd, text.data(), text.size());
    return n == static_cast<ssize_t>(text.size());
}

} // namespace

std::string journalHeader()
{
    return "time,source,step,line,frame,meaning,result\n";
}

std::string journalLine(const JournalEntry &entry)
{
    return localTime(entry.time) + "," + csvField(entry.source) + "," + number(entry.step) + "," +
           number(entry.line) + "," + csvField(entry.frame) + "," + csvField(entry.meaning) +
           "," + csvField(entry.result) + "\n";
}

std::unique_ptr<Journal> Journal::open(const std::string &path, std::string &error)
{
    if (path.empty()) {
        error = "no journal file named";
        return nullptr;
    }
    int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        error = "cannot open the journal " + path + ": " + std::strerror(errno);
        return nullptr;
    }
    struct stat info = {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        error = "the journal " + path + " is not a regular file";
        ::close(fd);
        return nullptr;
    }
    if (info.st_size == 0 && (!writeAll(fd, journalHeader()) || ::fdatasync(fd) != 0)) {
        error = "cannot write the journal " + path + ": " + std::strerror(errno);
        ::close(fd);
        return nullptr;
    }
    return std::unique_ptr<Journal>(new Journal(fd, path));
}

Journal::~Journal()
{
    ::close(m_fd);
}

bool Journal::append(const JournalEntry &entry, std::string &error)
{
    errno = 0;
    if (!writeAll(m_fd, journalLine(entry)) || ::fdatasync(m_fd) != 0) {
        error = "cannot write the journal " + m_path + ": " +
                (errno != 0 ? std::strerror(errno) : "the disk took only part of a line");
        return false;
    }
    return true;
}

} // namespace rz417
