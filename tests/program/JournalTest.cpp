#include "program/Journal.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace rz417 {
namespace {

// 2026-12-09T13:03:07.250Z
const auto kWhen = std::chrono::system_clock::time_point(std::chrono::milliseconds(1796821387250));

std::string readAll(const std::string &path)
{
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

class JournalFile : public testing::Test
{
protected:
    void SetUp() override
    {
        char dir[] = "/tmp/rz417-journal-XXXXXX";
        ASSERT_NE(::mkdtemp(dir), nullptr);
        m_dir = dir;
        m_path = m_dir + "/journal.csv";
    }
    void TearDown() override
    {
        ::unlink(m_path.c_str());
        ::rmdir(m_dir.c_str());
    }
    std::string m_dir;
    std::string m_path;
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
        {"CET-1", {kWhen, "program", 3, 7, "6300C8", "CC 2.00 A", "sent"},
         "2026-12-09T14:03:07.250+01:00,program,3,7,6300C8,CC 2.00 A,sent\n"},
        {"EST5", {kWhen + std::chrono::milliseconds(5), "cli", 0, 0, "66FFFF", "input off",
                  "Device not Open, \"gone\""},
         "2026-12-09T08:03:07.255-05:00,cli,,,66FFFF,input off,\"Device not Open, \"\"gone\"\"\"\n"},
        {"IST-5:30", {kWhen, "panel", 0, 0, "6204D2", "CV 12.34 V", "sent"},
         "2026-12-09T18:33:07.250+05:30,panel,,,6204D2,CV 12.34 V,sent\n"},
    };
    for (const auto &c : cases) {
        ::setenv("TZ", c.tz, 1);
        ::tzset();
        EXPECT_EQ(journalLine(c.entry), c.line) << c.tz;
    }
    if (oldTz)
        ::setenv("TZ", saved.c_str(), 1);
    else
        ::unsetenv("TZ");
    ::tzset();
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
    std::string error;
    EXPECT_FALSE(Journal::open(m_dir + "/no/such/folder.csv", error));
    EXPECT_EQ(error, "cannot open the journal " + m_dir +
                         "/no/such/folder.csv: No such file or directory");
    EXPECT_FALSE(Journal::open(m_dir, error));
    EXPECT_FALSE(Journal::open("/dev/full", error)); // a device is no journal
}

TEST_F(JournalFile, TwoProcessesNeverMixWithinALine)
{
    constexpr int kLines = 500;
    std::string error;
    ASSERT_TRUE(Journal::open(m_path, error));
    pid_t children[2];
    for (int i = 0; i < 2; ++i) {
        children[i] = ::fork();
        ASSERT_GE(children[i], 0);
        if (children[i] == 0) {
            auto journal = Journal::open(m_path, error);
            // A long meaning makes a torn line easy to see.
            const std::string meaning(200, i == 0 ? 'a' : 'b');
            for (int n = 0; n < kLines && journal; ++n) {
                if (!journal->append({kWhen, "cli", 0, 0, "620001", meaning, "sent"}, error))
                    ::_exit(1);
            }
            ::_exit(journal ? 0 : 1);
        }
    }
    for (const pid_t child : children) {
        int status = 0;
        ::waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    std::istringstream lines(readAll(m_path));
    std::string line;
    std::getline(lines, line);
    int count = 0;
    while (std::getline(lines, line)) {
        ++count;
        const bool whole = line.find(std::string(200, 'a')) != std::string::npos ||
                           line.find(std::string(200, 'b')) != std::string::npos;
        EXPECT_TRUE(whole && line.size() < 280) << line;
    }
    EXPECT_EQ(count, 2 * kLines);
}

} // namespace
} // namespace rz417
