// The line writer against a scripted driver and its own clock: what reaches the driver, and when.
#include "link/LineWriter.h"
#include "link/CommControl.h"

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

namespace rz417 {
namespace {

using namespace std::chrono_literals;

class FakeClock : public LineClock
{
public:
    LineTime now() override { return m_now; }
    void sleepUntil(LineTime until) override { m_now = std::max(m_now, until); }
    void advance(std::chrono::nanoseconds by) { m_now += by; }

private:
    LineTime m_now{std::chrono::seconds(1000)};
};

// Takes what its script says of each write (all of it when the script is empty); records what it
// took and when.
class ScriptedLine : public ByteLine
{
public:
    explicit ScriptedLine(FakeClock &clock) : m_clock(clock) {}
    Outcome put(std::string_view data, LineTime deadline, std::size_t &accepted,
                std::string &why) override
    {
        std::size_t take = data.size();
        Outcome outcome = Outcome::Whole;
        if (!script.empty()) {
            const int step = script.front();
            script.pop_front();
            if (step < 0) {
                why = "gone";
                return Outcome::Lost;
            }
            take = std::min(data.size(), static_cast<std::size_t>(step));
            if (take < data.size()) {
                outcome = Outcome::Stalled;
                m_clock.sleepUntil(deadline);
            }
        }
        accepted = take;
        if (take > 0)
            writes.push_back({m_clock.now(), std::string(data.substr(0, take))});
        return outcome;
    }
    struct Write
    {
        LineTime at;
        std::string bytes;
    };
    std::deque<int> script; // bytes taken per call, -1 for a lost device
    std::vector<Write> writes;

private:
    FakeClock &m_clock;
};

// 10 bits a byte at 115200 baud.
constexpr auto kFrameTime = std::chrono::nanoseconds(6 * 86805);

int16_t failureOf(LineWriter &writer, ScriptedLine &line, const std::string &frame)
{
    try {
        writer.write(line, frame, 200ms);
    } catch (const CommError &error) {
        return error.code();
    }
    return 0;
}

TEST(LineWriter, RunsNoFurtherAheadOfTheLineThanItsBound)
{
    FakeClock clock;
    ScriptedLine line(clock);
    LineWriter writer(clock);
    const LineTime start = clock.now();
    for (int i = 0; i < 1000; ++i)
        writer.write(line, "620064", 1s);
    // Each frame is handed over once the line has nearly carried the ones before it.
    for (std::size_t i = 0; i < line.writes.size(); ++i) {
        const LineTime carried = start + kFrameTime * static_cast<int>(i);
        EXPECT_GE(line.writes[i].at, carried - LineWriter::kAhead - 1us) << "frame " << i;
        EXPECT_LE(line.writes[i].at, carried) << "frame " << i;
    }
}

TEST(LineWriter, ACutFrameIsFinishedFirstAndNothingFollowsItUntilTheLineIsQuiet)
{
    const struct
    {
        const char *cut;               // the frame cut short
        std::vector<int> script;       // what the driver takes of each write, from the cut frame on
        std::vector<int16_t> failures; // of the cut frame, then of each try of 66FFFF
        std::vector<std::string> wire; // what reached the driver, in order
        bool quietBeforeLast;          // the last frame waits for the quiet pause
    } rows[] = {
        // Cut after two characters; the line moves again before the next frame.
        {"620064", {2}, {CommCodes::TxQueueFull, 0}, {"62", "0064", "66FFFF"}, true},
        // Nothing of it taken: nothing is owed.
        {"620064", {0}, {CommCodes::TxQueueFull, 0}, {"66FFFF"}, false},
        // Still stalled at the next frame: that frame is not started.
        {"620064",
         {2, 0, 1},
         {CommCodes::TxQueueFull, CommCodes::TxQueueFull, CommCodes::TxQueueFull, 0},
         {"62", "0", "064", "66FFFF"},
         true},
        // The device lost while finishing it: the rest goes with it; a new device starts clean.
        {"620064",
         {2, -1},
         {CommCodes::TxQueueFull, CommCodes::NotOpen, 0},
         {"62", "66FFFF"},
         false},
        // A cut input-on frame before the input-off frame: its rest is dropped, and the load
        // drops its start in the quiet before 66FFFF; the input never goes on.
        {"6600FF", {2}, {CommCodes::TxQueueFull, 0}, {"66", "66FFFF"}, true},
        {"6600FF", {4}, {CommCodes::TxQueueFull, 0}, {"6600", "66FFFF"}, true},
    };
    for (const auto &row : rows) {
        FakeClock clock;
        ScriptedLine line(clock);
        LineWriter writer(clock);
        line.script.assign(row.script.begin(), row.script.end());
        std::vector<int16_t> failures{failureOf(writer, line, row.cut)};
        while (failures.back() != 0 && failures.size() < row.failures.size())
            failures.push_back(failureOf(writer, line, "66FFFF"));
        EXPECT_EQ(failures, row.failures);
        std::vector<std::string> wire;
        for (const auto &w : line.writes)
            wire.push_back(w.bytes);
        EXPECT_EQ(wire, row.wire);
        if (row.quietBeforeLast) {
            const auto &rest = line.writes[line.writes.size() - 2];
            const auto restTime = kFrameTime / 6 * static_cast<int>(rest.bytes.size());
            EXPECT_GE(line.writes.back().at, rest.at + restTime + LineWriter::kQuiet);
        }
        EXPECT_TRUE(writer.owed().empty());
    }
}

TEST(LineWriter, ClosingFinishesACutFrameButNeverACutInputOnFrame)
{
    const struct
    {
        const char *cut;
        std::vector<std::string> wire;
    } rows[] = {
        {"620064", {"62", "0064"}},
        {"66FFFF", {"66", "FFFF"}},
        {"6600FF", {"66"}},
    };
    for (const auto &row : rows) {
        FakeClock clock;
        ScriptedLine line(clock);
        LineWriter writer(clock);
        line.script = {2};
        EXPECT_EQ(failureOf(writer, line, row.cut), CommCodes::TxQueueFull);
        EXPECT_TRUE(writer.finish(line, 200ms)) << row.cut;
        std::vector<std::string> wire;
        for (const auto &w : line.writes)
            wire.push_back(w.bytes);
        EXPECT_EQ(wire, row.wire) << row.cut;
        EXPECT_TRUE(writer.owed().empty()) << row.cut;
    }
}

} // namespace
} // namespace rz417
