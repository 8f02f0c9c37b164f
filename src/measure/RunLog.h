#pragma once

#include <cstdio>
#include <string>

namespace rz417::measure {

// A run's CSV log: the header, then a row per reading, each flushed as it goes, so that what
// was measured is on disk when the run is cut short. A row that cannot be written ends the run.
class RunLog
{
public:
    RunLog() = default;
    RunLog(const RunLog &) = delete;
    RunLog &operator=(const RunLog &) = delete;
    ~RunLog() { close(); }

    // Creates (or empties) the file and writes the header; false with why.
    bool open(const std::string &path, const std::string &header, std::string &why);
    bool isOpen() const { return m_file != nullptr; }
    // False with why: "PATH: cannot be written (No space left on device)".
    bool write(const std::string &row, std::string &why);
    void close();

private:
    std::string failure() const;

    std::string m_path;
    std::FILE *m_file = nullptr;
};

// The file created or emptied for writing, in binary so that a row ends in "\n" on every
// system, or nothing with errno set; the path is UTF-8.
std::FILE *openForWriting(const std::string &path);

} // namespace rz417::measure
