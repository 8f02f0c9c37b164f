#include "FrameDecoder.h"

#include "CaseName.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace rz417::sim {
namespace {

using Clock = FrameDecoder::Clock;
using std::chrono::milliseconds;

struct Chunk
{
    std::string bytes;
    int atMs;
};

struct StreamCase
{
    const char *name;
    std::vector<Chunk> chunks;
    int idleUntilMs; // expire() is called at this time after the last chunk
    // Every frame in order; a bad frame is written with a leading '!'.
    std::vector<std::string> frames;
};

Clock::time_point at(int ms)
{
    return Clock::time_point{} + milliseconds(1000 + ms);
}

std::vector<Frame> decode(const std::vector<Chunk> &chunks, int idleUntilMs)
{
    FrameDecoder decoder;
    std::vector<Frame> frames;
    for (const Chunk &chunk : chunks) {
        for (Frame &frame : decoder.feed(chunk.bytes, at(chunk.atMs)))
            frames.push_back(std::move(frame));
    }
    if (auto frame = decoder.expire(at(idleUntilMs)))
        frames.push_back(std::move(*frame));
    return frames;
}

std::vector<std::string> summary(const std::vector<Frame> &frames)
{
    std::vector<std::string> out;
    for (const Frame &frame : frames)
        out.push_back(frame.valid ? frame.bytes : "!" + frame.bytes);
    return out;
}

class FrameStreamTest : public ::testing::TestWithParam<StreamCase>
{
};

TEST_P(FrameStreamTest, DecodesFramesAndReportsBadRuns)
{
    const StreamCase &c = GetParam();
    const std::vector<Frame> frames = decode(c.chunks, c.idleUntilMs);
    EXPECT_EQ(summary(frames), c.frames);
    for (const Frame &frame : frames)
        EXPECT_EQ(frame.error.empty(), frame.valid) << frame.bytes;
}

const StreamCase kStreams[] = {
    {"OneFrame", {{"6204D2", 0}}, 100, {"6204D2"}},
    {"EveryCommand",
     {{"6204D2630064670064640FA065000A6600FF66FFFF", 0}},
     100,
     {"6204D2", "630064", "670064", "640FA0", "65000A", "6600FF", "66FFFF"}},
    {"SplitByteByByte",
     {{"6", 0}, {"2", 1}, {"0", 2}, {"4", 3}, {"D", 4}, {"2", 5}},
     100,
     {"6204D2"}},
    {"SplitAcrossTheBoundary",
     {{"6204D267", 0}, {"01F463", 5}, {"0064", 10}},
     100,
     {"6204D2", "6701F4", "630064"}},
    {"LowerCaseDigit", {{"6204d26204D2", 0}}, 100, {"!6204d2", "6204D2"}},
    {"LowerCaseDigitSplit", {{"6204", 0}, {"d2", 5}, {"6204D2", 10}}, 100, {"!6204d2", "6204D2"}},
    {"NonHexInsideAFrame", {{"62X4D26204D2", 0}}, 100, {"!62X4D2", "6204D2"}},
    {"NonHexInsideAFrameThenLaterFrame",
     {{"62X4D2", 0}, {"6204D2", 10}},
     100,
     {"!62X4D2", "6204D2"}},
    {"LineEndBetweenFrames", {{"6204D2\r\n6701F4", 0}}, 100, {"6204D2", "!\r\n", "6701F4"}},
    {"GarbageBeforeAFrame", {{"ZZ6204D2", 0}}, 100, {"!ZZ", "6204D2"}},
    {"GarbageSplitFromItsFrame", {{"Z", 0}, {"Z6204D2", 10}}, 100, {"!ZZ", "6204D2"}},
    {"HexGarbageBeforeAFrame", {{"AB6204D2", 0}}, 100, {"!AB", "6204D2"}},
    {"LongGarbage", {{"hello world!6600FF", 0}}, 100, {"!hello world!", "6600FF"}},
    {"NulBytes",
     {{std::string("\0\0", 2) + "6204D2", 0}},
     100,
     {"!" + std::string("\0\0", 2), "6204D2"}},
    {"UnknownCode", {{"6800006204D2", 0}}, 100, {"!680000", "6204D2"}},
    {"UnknownCodeAlone", {{"6A1234", 0}}, 100, {"!6A1234"}},
    {"UnknownCodeNotStartingWithSix", {{"120000", 0}}, 100, {"!120000"}},
    {"InputWithOtherValue", {{"6600006600FF", 0}}, 100, {"!660000", "6600FF"}},
    {"InputWithSwappedValue", {{"66FF00", 0}}, 100, {"!66FF00"}},
    {"StraySixBeforeAFrame", {{"66204D2", 0}}, 100, {"!6", "6204D2"}},
    {"PartialThenPause", {{"6204", 0}, {"6204D2", 51}}, 100, {"!6204", "6204D2"}},
    {"PartialThenExactlyTheTimeout", {{"6204", 0}, {"D2", 50}}, 100, {"6204D2"}},
    {"PauseCountsFromTheLastByte", {{"62", 0}, {"04", 40}, {"D2", 80}}, 100, {"6204D2"}},
    {"PartialExpiresWhenIdle", {{"620", 0}}, 51, {"!620"}},
    {"PartialKeptUntilTheTimeout", {{"620", 0}}, 50, {}},
    {"GarbageExpiresWhenIdle", {{"6204D2Z", 0}}, 57, {"6204D2", "!Z"}},
    {"NothingAtAll", {}, 100, {}},
};

INSTANTIATE_TEST_SUITE_P(Streams, FrameStreamTest, ::testing::ValuesIn(kStreams), CaseName());

TEST(FrameDecoderTest, ErrorSaysWhatIsWrong)
{
    // A pause between the pieces keeps each one a bad frame of its own.
    const auto frames =
        decode({{"6204d2", 0}, {"62X", 100}, {"680000", 200}, {"660000", 300}, {"6", 400}}, 500);
    ASSERT_EQ(frames.size(), 5U);
    EXPECT_NE(frames[0].error.find("lower-case"), std::string::npos) << frames[0].error;
    EXPECT_NE(frames[1].error.find("'X'"), std::string::npos) << frames[1].error;
    EXPECT_NE(frames[2].error.find("unknown command code 68"), std::string::npos)
        << frames[2].error;
    EXPECT_NE(frames[3].error.find("00FF or FFFF"), std::string::npos) << frames[3].error;
    EXPECT_NE(frames[4].error.find("incomplete"), std::string::npos) << frames[4].error;
}

TEST(FrameDecoderTest, DeadlineFollowsTheLastByte)
{
    FrameDecoder decoder;
    EXPECT_FALSE(decoder.deadline());
    decoder.feed("62", at(0));
    ASSERT_TRUE(decoder.deadline());
    EXPECT_EQ(*decoder.deadline(), at(50));
    decoder.feed("04", at(30));
    EXPECT_EQ(*decoder.deadline(), at(80));
    decoder.feed("D2", at(60));
    EXPECT_FALSE(decoder.deadline());
}

// Whatever arrives, in whatever pieces: every byte comes out exactly once and in order, valid
// frames are well formed, nothing is held past the timeout, and a good frame after the noise is
// decoded.
TEST(FrameDecoderTest, ArbitraryNoiseNeverLosesOrStallsBytes)
{
    std::mt19937 random(417);
    const std::string alphabet = "0123456789ABCDEFabcdef6666GZ\r\n ";
    for (int round = 0; round < 500; ++round) {
        std::string input;
        const int length = std::uniform_int_distribution<int>(0, 40)(random);
        for (int i = 0; i < length; ++i) {
            if (std::uniform_int_distribution<int>(0, 9)(random) == 0)
                input += static_cast<char>(std::uniform_int_distribution<int>(0, 255)(random));
            else
                input += alphabet[std::uniform_int_distribution<std::size_t>(0, alphabet.size() -
                                                                                    1)(random)];
        }

        FrameDecoder decoder;
        std::string out;
        std::vector<Frame> frames;
        int now = 0;
        for (std::size_t pos = 0; pos < input.size();) {
            const auto take = std::uniform_int_distribution<std::size_t>(1, 8)(random);
            now += std::uniform_int_distribution<int>(0, 70)(random);
            for (Frame &frame : decoder.feed(input.substr(pos, take), at(now)))
                frames.push_back(std::move(frame));
            pos += take;
        }
        if (auto frame = decoder.expire(at(now + 51)))
            frames.push_back(std::move(*frame));
        EXPECT_FALSE(decoder.hasPending());

        for (const Frame &frame : frames) {
            out += frame.bytes;
            EXPECT_FALSE(frame.bytes.empty());
            if (frame.valid) {
                EXPECT_EQ(frame.bytes.size(), 6U);
                EXPECT_EQ(frame.bytes.find_first_not_of("0123456789ABCDEF"), std::string::npos);
            }
        }
        EXPECT_EQ(out, input);

        // After a pause the decoder is back in step, whatever came before.
        const auto after = decoder.feed("6204D2", at(now + 200));
        ASSERT_EQ(after.size(), 1U);
        EXPECT_TRUE(after[0].valid);
    }
}

} // namespace
} // namespace rz417::sim
