#include "program/Journal.h"

#include "protocol/WindowsText_windows.h"

#include <windows.h>

namespace rz417 {

namespace {

// Writers of one journal take turns through a lock on one byte far past any end the file will
// reach: Windows' byte-range locks are mandatory, so a lock over the data would make another
// process's appends fail instead of wait.
constexpr DWORD kLockOffsetHigh = 0x40000000;

bool lockWriters(HANDLE file, bool lock)
{
    OVERLAPPED at = {};
    at.OffsetHigh = kLockOffsetHigh;
    return lock ? ::LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &at) != FALSE
                : ::UnlockFileEx(file, 0, 1, 0, &at) != FALSE;
}

} // namespace

class Journal::File
{
public:
    explicit File(HANDLE handle) : m_handle(handle) {}
    ~File() { ::CloseHandle(m_handle); }
    File(const File &) = delete;
    File &operator=(const File &) = delete;

    // One WriteFile on a handle with append access only, then the line goes to the disk. The
    // caller holds the writers' lock: not every system takes "the end" and the write as one
    // step (Wine does not), and two writers would then tear or overwrite each other's lines.
    bool writeLine(const std::string &text, DWORD &error) const
    {
        DWORD written = 0;
        const DWORD size = static_cast<DWORD>(text.size());
        const bool ok = ::WriteFile(m_handle, text.data(), size, &written, nullptr) != FALSE;
        error = ok ? 0 : ::GetLastError();
        if (!ok || written != size)
            return false;
        if (::FlushFileBuffers(m_handle))
            return true;
        error = ::GetLastError();
        return false;
    }
    HANDLE handle() const { return m_handle; }

private:
    HANDLE m_handle;
};

std::unique_ptr<Journal> Journal::open(const std::string &path, std::string &error)
{
    if (path.empty()) {
        error = "no journal file named";
        return nullptr;
    }
    // Read access too, which LockFileEx needs; the data is only ever appended to.
    const HANDLE handle =
        ::CreateFileW(windows::wide(path).c_str(), FILE_APPEND_DATA | GENERIC_READ,
                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        error = "cannot open the journal " + path + ": " + windows::errorText(::GetLastError());
        return nullptr;
    }
    auto file = std::make_unique<File>(handle);
    if (::GetFileType(handle) != FILE_TYPE_DISK) {
        error = "the journal " + path + " is not a regular file";
        return nullptr;
    }
    // Two processes that create the journal at once must not both find it new.
    lockWriters(handle, true);
    LARGE_INTEGER size = {};
    DWORD why = 0;
    if (!::GetFileSizeEx(handle, &size)) {
        error = "cannot open the journal " + path + ": " + windows::errorText(::GetLastError());
        return nullptr;
    }
    if (size.QuadPart == 0 && !file->writeLine(journalHeader(), why)) {
        error = "cannot write the journal " + path + ": " + windows::errorText(why);
        return nullptr;
    }
    lockWriters(handle, false);
    return std::unique_ptr<Journal>(new Journal(std::move(file), path));
}

Journal::Journal(std::unique_ptr<File> file, std::string path)
    : m_file(std::move(file)), m_path(std::move(path))
{
}

Journal::~Journal() = default;

bool Journal::append(const JournalEntry &entry, std::string &error)
{
    DWORD why = 0;
    const std::string line = journalLine(entry);
    lockWriters(m_file->handle(), true);
    const bool written = m_file->writeLine(line, why);
    lockWriters(m_file->handle(), false);
    if (!written) {
        error = "cannot write the journal " + m_path + ": " +
                (why != 0 ? windows::errorText(why) : "the disk took only part of a line");
        return false;
    }
    return true;
}

} // namespace rz417
