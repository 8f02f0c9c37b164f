#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <utility>

namespace rz417 {

// One frame as the journal records it.
struct JournalEntry
{
    std::chrono::system_clock::time_point time;
    std::string source; // "cli", "program" or "panel"
    int step = 0;       // programs: the step from 1 and its line in the file; 0 otherwise
    int line = 0;
    std::string frame;
    std::string meaning; // "CC 2.000 A", "input on"
    std::string result;  // "sent", or the error text
};

// The journal's CSV line for an entry, with its line end: local time with milliseconds and UTC
// offset (2026-12-09T14:03:07.250+01:00), source, step, line, frame, meaning, result.
std::string journalLine(const JournalEntry &entry);
std::string journalHeader();

// A journal file, appended to and never truncated. Each line goes out in one write and is on
// the disk before append() returns, so a crash loses at most the line being written, and two
// processes appending to one journal never mix within a line.
class Journal
{
public:
    // Opens or creates the file; the header row goes in only when the file is new. Nothing and
    // the error text when it cannot be opened.
    static std::unique_ptr<Journal> open(const std::string &path, std::string &error);
    ~Journal();
    Journal(const Journal &) = delete;
    Journal &operator=(const Journal &) = delete;

    // False with the error text when the line could not be written whole.
    bool append(const JournalEntry &entry, std::string &error);

    const std::string &path() const { return m_path; }

private:
    class File; // the open file as this system keeps it
    Journal(std::unique_ptr<File> file, std::string path);

    std::unique_ptr<File> m_file;
    std::string m_path;
};

} // namespace rz417
