#include "support/PanelHarness.h"

#include <gtest/gtest.h>

namespace rz417::test {
namespace {

struct KeySequence
{
    const char *mode;
    std::vector<const char *> keys;
    std::vector<const char *> displays; // CValue after each key
    int32_t finalEntry;
};

void PrintTo(const KeySequence &seq, std::ostream *os)
{
    *os << seq.mode;
    for (const char *key : seq.keys)
        *os << ' ' << key;
}

class KeySequenceTest : public ::testing::TestWithParam<KeySequence>
{
};

TEST_P(KeySequenceTest, DisplayAfterEachKeyAndEntryAtTheEnd)
{
    const KeySequence &seq = GetParam();
    PanelHarness h;
    h.press(seq.mode);
    ASSERT_EQ(seq.keys.size(), seq.displays.size());
    for (std::size_t i = 0; i < seq.keys.size(); ++i) {
        h.press(seq.keys[i]);
        EXPECT_EQ(h.display(), seq.displays[i])
            << "after key " << i + 1 << " (" << seq.keys[i] << ")";
    }
    EXPECT_EQ(entryOf(h.panel.state(), h.panel.state().ModeCode), seq.finalEntry);
    EXPECT_TRUE(h.comm.writes.empty()) << "digit keys and mode buttons must send nothing";
}

INSTANTIATE_TEST_SUITE_P(
    WorkedSequences, KeySequenceTest,
    ::testing::Values(
        KeySequence{
            "CV", {"1", "2", "3", "4", "5"}, {"00.01", "00.12", "01.23", "12.34", "00.05"}, 5},
        KeySequence{
            "CV", {"6", "3", "0", "9", "0"}, {"00.06", "00.63", "06.30", "63.09", "00.00"}, 0},
        KeySequence{"CV", {"6", "4", "0", "0"}, {"00.06", "00.64", "06.40", "00.00"}, 0},
        KeySequence{"CV", {"9", "9", "9", "9"}, {"00.09", "00.99", "09.99", "00.09"}, 9},
        KeySequence{"CV", {"1", "0", "0", "0"}, {"00.01", "00.10", "01.00", "10.00"}, 1000},
        KeySequence{"CV", {"0", "0", "0"}, {"00.00", "00.00", "00.00"}, 0},
        KeySequence{"CC",
                    {"1", "2", "3", "4", "5", "6"},
                    {"0.001", "0.012", "0.123", "01.23", "12.34", "0.006"},
                    6},
        KeySequence{
            "CC", {"1", "5", "0", "0", "9"}, {"0.001", "0.015", "0.150", "01.50", "15.00"}, 15009},
        KeySequence{
            "CC", {"2", "0", "0", "0", "0"}, {"0.002", "0.020", "0.200", "02.00", "00.00"}, 0},
        KeySequence{"CC", {"0", "1"}, {"0.000", "0.001"}, 1},
        KeySequence{"CC", {"0", "1", "2", "3"}, {"0.000", "0.001", "0.012", "0.123"}, 123},
        KeySequence{"CC", {"0", "0"}, {"0.000", "0.000"}, 0},
        // A restart with a digit other than 0 keeps the ordinary CC text.
        KeySequence{
            "CC", {"2", "0", "0", "0", "5"}, {"0.002", "0.020", "0.200", "02.00", "0.005"}, 5},
        KeySequence{
            "CP", {"1", "9", "9", "9", "5"}, {"000.1", "001.9", "019.9", "199.9", "000.5"}, 5},
        KeySequence{"CP", {"2", "0", "0", "9"}, {"000.2", "002.0", "020.0", "200.9"}, 2009},
        KeySequence{"CP", {"0"}, {"000.0"}, 0},
        KeySequence{
            "CR", {"9", "9", "9", "9", "1"}, {"000.9", "009.9", "099.9", "999.9", "000.1"}, 1},
        KeySequence{
            "CR", {"1", "0", "0", "0", "0"}, {"000.1", "001.0", "010.0", "100.0", "000.0"}, 0},
        // 3277 * 10 does not fit the 16-bit entry; the restart must still happen cleanly.
        KeySequence{
            "CR", {"3", "2", "7", "7", "1"}, {"000.3", "003.2", "032.7", "327.7", "000.1"}, 1},
        KeySequence{
            "CR", {"9", "9", "9", "9", "9"}, {"000.9", "009.9", "099.9", "999.9", "000.9"}, 9}));

TEST(Keypad, FirstDigitAfterEnterStartsANewEntry)
{
    PanelHarness h;
    h.pressAll("1 2 3 4 Enter");
    EXPECT_EQ(h.display(), "12.34");
    h.press("5");
    EXPECT_EQ(h.display(), "00.05");
    EXPECT_EQ(h.panel.state().VoltageEntry, 5);
    EXPECT_EQ(h.panel.state().SentVoltage, 1234);
}

TEST(Keypad, KeysChangeOnlyTheActiveModesEntry)
{
    PanelHarness h;
    h.pressAll("CV 1 2 Enter CC 3 4 Enter CP 5");
    const PanelState &s = h.panel.state();
    EXPECT_EQ(s.VoltageEntry, 12);
    EXPECT_EQ(s.CurrentEntry, 34);
    EXPECT_EQ(s.PowerEntry, 5);
    EXPECT_EQ(s.ResistanceEntry, 0);
    EXPECT_EQ(s.SentPower, 0);
}

} // namespace
} // namespace rz417::test
