#include "program/Journal.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <sstream>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace rz417 {
namespace {

// 2026-12-09T13:03:07.250Z
const auto kWhen = std::chrono::system_clock::time_point(std::chrono::milliseconds(1796821387250));

std::string readAll(const std::string &path)
{
    std::ifstream file(std::filesystem::u8path(path), std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

void setTimeZone(const char *tz)
{
#ifdef _WIN32
    ::_putenv_s("TZ", tz ? tz : "");
    ::_tzset();
#else
    if (tz)
        ::setenv("TZ", tz, 1);
    else
        ::unsetenv("TZ");
    ::tzset();
#endif
}

// Runs child(index) in each of two processes at once and says whether both succeeded. On
// Windows the test program starts itself again for the child; it finds its part in the
// environment.
constexpr const char *kChildVariable = "RZ417_JOURNAL_CHILD";

// The child's part: its index, ':' and the journal's UTF-8 name; empty in the parent.
std::string childPart()
{
#ifdef _WIN32
    wchar_t value[2048];
    const DWORD n = ::GetEnvironmentVariableW(L"RZ417_JOURNAL_CHILD", value, 2048);
    if (n == 0 || n >= 2048)
        return {};
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, value, static_cast<int>(n), nullptr, 0,
                                           nullptr, nullptr);
    std::string out(static_cast<std::size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, value, static_cast<int>(n), out.data(), size, nullptr,
                          nullptr);
    return out;
#else
    const char *value = std::getenv(kChildVariable);
    return value ? value : "";
#endif
}

bool inTwoProcesses(const std::string &test, const std::string &path)
{
#ifdef _WIN32
    wchar_t self[MAX_PATH];
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    HANDLE children[2];
    for (int i = 0; i < 2; ++i) {
        const std::string value = std::to_string(i) + ":" + path;
        const int n = ::MultiByteToWideChar(CP_UTF8, 0, value.c_str(), -1, nullptr, 0);
        std::wstring wide(static_cast<std::size_t>(n), L'\0');
        ::MultiByteToWideChar(CP_UTF8, 0, value.c_str(), -1, wide.data(), n);
        ::SetEnvironmentVariableW(L"RZ417_JOURNAL_CHILD", wide.c_str());
        std::wstring command = L"\"" + std::wstring(self) + L"\" --gtest_filter=" +
                               std::wstring(test.begin(), test.end());
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process = {};
        if (!::CreateProcessW(self, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                              &startup, &process))
            return false;
        ::CloseHandle(process.hThread);
        children[i] = process.hProcess;
    }
    ::SetEnvironmentVariableW(L"RZ417_JOURNAL_CHILD", nullptr);
    bool ok = true;
    for (HANDLE child : children) {
        DWORD status = 1;
        ::WaitForSingleObject(child, INFINITE);
        ::GetExitCodeProcess(child, &status);
        ::CloseHandle(child);
        ok = ok && status == 0;
    }
    return ok;
#else
    pid_t children[2];
    for (int i = 0; i < 2; ++i) {
        children[i] = ::fork();
        if (children[i] < 0)
            return false;
        if (children[i] == 0) {
            ::setenv(kChildVariable, (std::to_string(i) + ":" + path).c_str(), 1);
            ::execl("/proc/self/exe", "child", ("--gtest_filter=" + test).c_str(), nullptr);
            ::_exit(127);
        }
    }
    bool ok = true;
    for (const pid_t child : children) {
        int status = 0;
        ::waitpid(child, &status, 0);
        ok = ok && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }
    return ok;
#endif
}

class JournalFile : public testing::Test
{
protected:
    test::TempDir m_dir;
    std::string m_path = m_dir.path("journal.csv");
};

TEST(JournalLine, LocalTimeWithOffsetAndQuotedFields)
{
    const char *oldTz = std::getenv("TZ");
    const std::string saved = oldTz ? oldTz : "";

    const struct
    {
        const char *tz;
        JournalEntry entry;
        const char *line;
    } cases[] = {
        {"CET-1",
         {kWhen, "program", 3, 7, "6300C8", "CC 2.00 A", "sent"},
         "2026-12-09T14:03:07.250+01:00,program,3,7,6300C8,CC 2.00 A,sent\n"},
        {"EST5",
         {kWhen + std::chrono::milliseconds(5), "cli", 0, 0, "66FFFF", "input off",
          "Device not Open, \"gone\""},
         "2026-12-09T08:03:07.255-05:00,cli,,,66FFFF,input off,\"Device not Open, "
         "\"\"gone\"\"\"\n"},
        {"IST-5:30",
         {kWhen, "panel", 0, 0, "6204D2", "CV 12.34 V", "sent"},
         "2026-12-09T18:33:07.250+05:30,panel,,,6204D2,CV 12.34 V,sent\n"},
    };
    for (const auto &c : cases) {
        setTimeZone(c.tz);
        EXPECT_EQ(journalLine(c.entry), c.line) << c.tz;
    }
    setTimeZone(oldTz ? saved.c_str() : nullptr);
}

TEST_F(JournalFile, AppendsAndWritesTheHeaderOnlyWhenNew)
{
    std::string error;
    for (int round = 0; round < 2; ++round) {
        auto journal = Journal::open(m_path, error);
        ASSERT_TRUE(journal) << error;
        ASSERT_TRUE(journal->append({kWhen, "cli", 0, 0, "620001", "CV 0.01 V", "sent"}, error));
    }
    const std::string text = readAll(m_path);
    EXPECT_EQ(text.rfind(journalHeader(), 0), 0u);
    EXPECT_EQ(text.find(journalHeader(), 1), std::string::npos);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 3);
}

TEST_F(JournalFile, AJournalThatCannotBeOpenedSaysWhy)
{
#ifdef _WIN32
    const std::string missing = m_dir.path("no") + "\\such\\folder.csv";
    const char *device = "NUL";
#else
    const std::string missing = m_dir.path("no") + "/such/folder.csv";
    const char *device = "/dev/full";
#endif
    std::string error;
    EXPECT_FALSE(Journal::open(missing, error));
    // The name whole, then the system's own words for why.
    const std::string named = "cannot open the journal " + missing + ": ";
    EXPECT_EQ(error.rfind(named, 0), 0u) << error;
    EXPECT_GT(error.size(), named.size() + 5) << error;
    EXPECT_FALSE(Journal::open(m_dir.path(), error));
    EXPECT_FALSE(Journal::open(device, error)); // a device is no journal
    EXPECT_EQ(error, std::string("the journal ") + device + " is not a regular file");
}

// Each of two processes appends its own lines to one journal (see inTwoProcesses).
TEST(JournalChild, AppendsItsLines)
{
    const std::string value = childPart();
    if (value.empty())
        GTEST_SKIP() << "runs only as a child of TwoProcessesNeverMixWithinALine";
    const char letter = value[0] == '0' ? 'a' : 'b';
    std::string error;
    auto journal = Journal::open(value.substr(2), error);
    ASSERT_TRUE(journal) << error;
    // A long meaning makes a torn line easy to see.
    const std::string meaning(200, letter);
    for (int n = 0; n < 500; ++n)
        ASSERT_TRUE(journal->append({kWhen, "cli", 0, 0, "620001", meaning, "sent"}, error));
}

TEST_F(JournalFile, TwoProcessesNeverMixWithinALine)
{
    // Both create the journal: the header goes in once.
    ASSERT_TRUE(inTwoProcesses("JournalChild.AppendsItsLines", m_path));
    std::istringstream lines(readAll(m_path));
    std::string line;
    std::getline(lines, line);
    EXPECT_EQ(line + "\n", journalHeader());
    int count = 0;
    while (std::getline(lines, line)) {
        ++count;
        const bool whole = line.find(std::string(200, 'a')) != std::string::npos ||
                           line.find(std::string(200, 'b')) != std::string::npos;
        EXPECT_TRUE(whole && line.size() < 280) << line;
    }
    EXPECT_EQ(count, 2 * 500);
}

} // namespace
} // namespace rz417
