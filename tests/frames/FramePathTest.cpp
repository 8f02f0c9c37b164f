// The one frame path: what reaches the line, the journal and the record of what the load was
// last sent, whoever sends the frames.
#include "frames/FramePath.h"
#include "program/Journal.h"
#include "protocol/Modes.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

namespace rz417 {
namespace {

// A line that takes frames, or refuses them with an error.
class Line : public CommControl
{
public:
    void setCommPort(int16_t) override {}
    void setSettings(const std::string &) override {}
    void setPortOpen(bool) override {}
    void setOutput(const std::string &data) override
    {
        if (refusing == Refusal::NothingSent)
            throw CommError(CommCodes::NotOpen, "device not open").markNothingSent();
        if (refusing == Refusal::InPart)
            throw CommError(CommCodes::TxQueueFull, "write timed out");
        frames.push_back(data);
    }
    enum class Refusal { None, InPart, NothingSent };
    std::vector<std::string> frames;
    Refusal refusing = Refusal::None;
};

// The journal's lines without their times.
std::vector<std::string> journalTail(const std::string &path)
{
    std::ifstream file(std::filesystem::u8path(path));
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);)
        lines.push_back(line.substr(line.find(',') + 1));
    return lines;
}

TEST(FramePath, EveryFrameOntoTheLineIntoTheJournalAndTheRecord)
{
    test::TempDir dir;
    std::string why;
    const auto journal = Journal::open(dir.path("journal.csv"), why);
    ASSERT_TRUE(journal) << why;
    Line line;
    FramePath path(&line);
    path.setJournal(journal.get());
    std::vector<std::string> seen;
    path.setObserver(
        [&](const SentFrame &sent) { seen.push_back(sent.frame + " " + sent.meaning); });

    constexpr auto None = Line::Refusal::None;
    constexpr auto InPart = Line::Refusal::InPart;
    constexpr auto NothingSent = Line::Refusal::NothingSent;
    const struct
    {
        const char *frame;
        FrameSource from;
        Line::Refusal refused;
        int16_t mode; // the record afterwards
        bool inputOn;
        bool inputMayBeOn;
    } rows[] = {
        {"6204D2", {"panel"}, None, ModeCodes::CV, false, false},
        {"6600FF", {"program", 2, 3}, InPart, ModeCodes::CV, false, true}, // may still go out
        {"6600FF", {"cli"}, None, ModeCodes::CV, true, true},
        {"630065", {"scpi", 0, 0, "127.0.0.1:40112"}, None, ModeCodes::CC, true, true},
        {"66FFFF", {"scpi", 0, 0, "127.0.0.1:40112"}, InPart, ModeCodes::CC, true, true},
        {"66FFFF", {"panel"}, None, ModeCodes::CC, false, false},
        {"6600FF", {"panel"}, NothingSent, ModeCodes::CC, false, false}, // none of it went
    };
    for (const auto &row : rows) {
        line.refusing = row.refused;
        const FramePath::Result result = path.send(row.frame, "meaning", row.from);
        EXPECT_EQ(result.failure.has_value(), row.refused != None) << row.frame;
        EXPECT_EQ(path.load().mode, row.mode) << row.frame;
        EXPECT_EQ(path.load().inputOn, row.inputOn) << row.frame;
        EXPECT_EQ(path.load().inputMayBeOn, row.inputMayBeOn) << row.frame;
    }
    EXPECT_EQ(line.frames, (std::vector<std::string>{"6204D2", "6600FF", "630065", "66FFFF"}));
    EXPECT_EQ(path.load().sent[ModeCodes::CV - 1], 1234);
    EXPECT_EQ(path.load().sent[ModeCodes::CC - 1], 1010);
    EXPECT_EQ(seen, (std::vector<std::string>{"6204D2 meaning", "6600FF meaning",
                                              "630065 meaning (from 127.0.0.1:40112)",
                                              "66FFFF meaning"}));
    EXPECT_EQ(journalTail(dir.path("journal.csv")),
              (std::vector<std::string>{
                  "source,step,line,frame,meaning,result",
                  "panel,,,6204D2,meaning,sent",
                  "program,2,3,6600FF,meaning,Tx queue is full",
                  "cli,,,6600FF,meaning,sent",
                  "scpi,,,630065,meaning (from 127.0.0.1:40112),sent",
                  "scpi,,,66FFFF,meaning (from 127.0.0.1:40112),Tx queue is full",
                  "panel,,,66FFFF,meaning,sent",
                  "panel,,,6600FF,meaning,Device not Open",
              }));
}

} // namespace
} // namespace rz417
