// Long random sequences of presses, checked against what the panel promises whatever is pressed.
#include "support/PanelHarness.h"

#include <gtest/gtest.h>
#include <random>

namespace rz417::test {
namespace {

const char *const kKeys[] = {"0", "1", "2",  "3",  "4",  "5",  "6",     "7",
                             "8", "9", "CV", "CC", "CP", "CR", "Enter", "Output"};

// Whether text has the shape of pattern, where 'd' stands for any digit and 'h' for any upper-case
// hexadecimal digit.
bool shaped(const std::string &text, const std::string &pattern)
{
    if (text.size() != pattern.size())
        return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const bool digit = c >= '0' && c <= '9';
        if (pattern[i] == 'd'   ? !digit
            : pattern[i] == 'h' ? !(digit || (c >= 'A' && c <= 'F'))
                                : c != pattern[i])
            return false;
    }
    return true;
}

int32_t digitsOf(const std::string &text)
{
    int32_t value = 0;
    for (const char c : text) {
        if (c != '.')
            value = value * 10 + (c - '0');
    }
    return value;
}

TEST(PanelProperties, RandomPressesKeepEveryPromise)
{
    const std::map<int16_t, std::vector<std::string>> displayShapes{
        {1, {"dd.dd"}}, {2, {"0.ddd", "dd.dd"}}, {3, {"ddd.d"}}, {4, {"ddd.d"}}};
    const std::vector<std::string> frameShapes{"62hhhh", "63hhhh", "64hhhh", "65hhhh",
                                               "67hhhh", "6600FF", "66FFFF"};
    const auto anyShape = [](const std::string &text, const std::vector<std::string> &shapes) {
        for (const std::string &shape : shapes) {
            if (shaped(text, shape))
                return true;
        }
        return false;
    };
    const std::map<int16_t, std::pair<std::string, std::string>> unitAndRange{
        {1, {"V", "Range : 0 to 63.00V"}},
        {2, {"A", "Range : 0 to 15.00A"}},
        {3, {"W", "Range : 0 to 200.0W"}},
        {4, {"\u03A9", "Range : 0 to 999.9\u03A9"}},
    };
    const int32_t largest[] = {0, 6309, 15009, 2009, 9999};

    for (const unsigned seed : {1u, 2u, 3u, 4u}) {
        std::mt19937 random(seed);
        // Digits more often than the rest, so that long entries and their restarts happen.
        std::discrete_distribution<int> pick({6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 1, 1, 1, 1, 3, 1});
        PanelHarness h;
        for (int i = 0; i < 25000; ++i) {
            const std::string key = kKeys[pick(random)];
            const std::string shownBefore = h.display();
            const std::size_t framesBefore = h.comm.frames.size();
            h.press(key);
            const PanelState &s = h.panel.state();
            const std::string where =
                "seed " + std::to_string(seed) + " press " + std::to_string(i) + " (" + key + ")";

            const std::size_t written = h.comm.frames.size() - framesBefore;
            if (key == "Enter" || key == "Output") {
                ASSERT_EQ(written, 1u) << where;
                const std::string &frame = h.comm.frames.back();
                ASSERT_TRUE(anyShape(frame, frameShapes)) << where << ": " << frame;
                const auto value = static_cast<int32_t>(std::stoi(frame.substr(2), nullptr, 16));
                const std::string code = frame.substr(0, 2);
                if (key == "Output") {
                    EXPECT_EQ(frame, s.OutputOn ? "6600FF" : "66FFFF") << where;
                } else if (code == "63") {
                    // The frame rounds where the display drops the thousandths.
                    const int32_t shown = digitsOf(shownBefore);
                    EXPECT_TRUE(value == shown || value == shown + 1) << where << ": " << frame;
                } else {
                    EXPECT_EQ(value, digitsOf(shownBefore)) << where << ": " << frame;
                }
            } else {
                ASSERT_EQ(written, 0u) << where;
            }

            ASSERT_GE(s.ModeCode, 1) << where;
            ASSERT_LE(s.ModeCode, 4) << where;
            const std::string shown = h.display();
            EXPECT_EQ(shown.size(), 5u) << where;
            EXPECT_TRUE(anyShape(shown, displayShapes.at(s.ModeCode))) << where << ": " << shown;
            EXPECT_EQ(h.captions[Caption::ModeLabel], unitAndRange.at(s.ModeCode).first) << where;
            EXPECT_EQ(h.captions[Caption::RangeLabel], unitAndRange.at(s.ModeCode).second) << where;
            EXPECT_EQ(h.captions[Caption::OutputCommand],
                      s.OutputOn ? "Output /ON" : "Output / OFF")
                << where;
            for (int16_t mode = 1; mode <= 4; ++mode) {
                EXPECT_GE(entryOf(s, mode), 0) << where;
                EXPECT_LE(entryOf(s, mode), largest[mode]) << where;
                EXPECT_GE(sentOf(s, mode), 0) << where;
                EXPECT_LE(sentOf(s, mode), largest[mode]) << where;
            }
            if (::testing::Test::HasFailure())
                return;
        }
    }
}

} // namespace
} // namespace rz417::test
