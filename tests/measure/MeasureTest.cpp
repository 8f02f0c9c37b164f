#include "measure/Parameters.h"
#include "measure/RunEnd.h"
#include "measure/RunLog.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>

namespace rz417::measure {
namespace {

TEST(RunEnd, WhatEachEndSays)
{
    const std::vector<std::string> figures{"capacity 1.0000 Ah"};
    // Plain words in the rows: g++ 12 for Windows at -O3 takes a table of nested strings for
    // memory read before it was set.
    const struct
    {
        RunEnd end;
        const char *why;
        std::vector<std::string> figures;
        bool wasOn, off;
        const char *logLost;
        std::vector<std::string> lines;
        bool succeeded;
    } rows[] = {
        {RunEnd::Stopped,
         "",
         figures,
         true,
         true,
         "",
         {"stopped by the time after 0:01:00", "capacity 1.0000 Ah", "the input was switched off"},
         true},
        {RunEnd::Stopped,
         "",
         figures,
         true,
         false,
         "",
         {"stopped by the time after 0:01:00", "capacity 1.0000 Ah",
          "the input could not be switched off: it may still be on"},
         false},
        {RunEnd::Interrupted,
         "",
         {},
         true,
         true,
         "",
         {"stopped by hand after 0:01:00", "the input was switched off"},
         false},
        {RunEnd::MeterFailed,
         "no answer within 2 s",
         figures,
         true,
         true,
         "",
         {"the meter stopped answering (no answer within 2 s) after 0:01:00", "capacity 1.0000 Ah",
          "the input was switched off"},
         false},
        {RunEnd::LogFailed,
         "x.csv: cannot be written (No space left on device)",
         figures,
         true,
         true,
         "",
         {"x.csv: cannot be written (No space left on device); the test was stopped after 0:01:00",
          "capacity 1.0000 Ah", "the input was switched off"},
         false},
        // The input-on frame never went out: nothing to switch off, nothing said of it.
        {RunEnd::LineFailed,
         "the input-on frame did not go out",
         {},
         false,
         true,
         "",
         {"the test did not start: the input-on frame did not go out"},
         false},
        {RunEnd::Stopped,
         "",
         figures,
         true,
         true,
         "x.csv: cannot be written (EIO)",
         {"stopped by the time after 0:01:00", "capacity 1.0000 Ah", "the input was switched off",
          "x.csv: cannot be written (EIO); the last reading is not in the log"},
         false},
    };
    for (const auto &row : rows) {
        RunEndWords words{{row.end, row.why}, "the time", "0:01:00",  row.figures,
                          row.wasOn,          row.off,    row.logLost, ""};
        EXPECT_EQ(endLines(words), row.lines) << row.lines.front();
        EXPECT_EQ(succeeded(words), row.succeeded) << row.lines.front();
    }
}

TEST(RunLog, RowsFlushedAndFailuresSaid)
{
    const std::string path = ::testing::TempDir() + "measure-log.csv";
    std::string why;
    RunLog log;
    ASSERT_TRUE(log.open(path, "a,b", why)) << why;
    ASSERT_TRUE(log.write("1,2", why)) << why;
    // On disk before the log is closed: a run cut short keeps what it measured.
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(text.str(), "a,b\n1,2\n");
#ifndef _WIN32
    EXPECT_FALSE(log.open("/no/such/folder/x.csv", "a,b", why));
    EXPECT_EQ(why, "/no/such/folder/x.csv: cannot be written (No such file or directory)");
    EXPECT_FALSE(log.isOpen());
    EXPECT_FALSE(log.open("/dev/full", "a,b", why));
    EXPECT_EQ(why, "/dev/full: cannot be written (No space left on device)");
#endif
    std::remove(path.c_str());
}

struct Values
{
    int a = 0;
    std::string b;
};

std::string takeA(const std::string &text, Values &into)
{
    if (text != "1" && text != "2")
        return "{} takes 1 or 2";
    into.a = text[0] - '0';
    return {};
}

std::string takeB(const std::string &text, Values &into)
{
    if (text.empty())
        return "'' is no name";
    into.b = text;
    return {};
}

TEST(Parameters, ReadInTheFrontEndsNaming)
{
    const std::vector<Parameter<Values>> table{
        {"a", "--a", "", "", "", "&A value", "", "1", "", "", Field::Line, false, takeA},
        {"b", "--b", "", "", "", "&&B", "", "", "", "", Field::Line, false, takeB},
        {"c", "--c", "", "", "", "C", "", "", "", "", Field::Line, true, takeB},
    };
    const struct
    {
        Texts texts;
        Naming naming;
        const char *why; // empty: read
        int a;
    } rows[] = {
        {{}, Naming::Option, "", 1},           // not given: its initial text
        {{{"a", "2"}}, Naming::Option, "", 2}, // given
        {{{"a", "3"}}, Naming::Option, "--a takes 1 or 2", 0},
        {{{"a", "3"}}, Naming::Label, "A value takes 1 or 2", 0},
        {{{"b", ""}}, Naming::Label, "&B: '' is no name", 0}, // given empty: read, and refused
        {{{"c", ""}}, Naming::Label, "", 1},                  // optional, empty: left out
    };
    for (const auto &row : rows) {
        Values setup;
        std::string why;
        EXPECT_EQ(readParameters(table, row.texts, row.naming, setup, why), !*row.why) << why;
        EXPECT_EQ(why, row.why);
        if (!*row.why) {
            EXPECT_EQ(setup.a, row.a) << row.why;
        }
    }
}

} // namespace
} // namespace rz417::measure
