// Program files -> the steps they schedule, or the exact problems they are refused for.
#include "program/Program.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

namespace rz417 {
namespace {

// A step as "line:start ms:frames-ish summary", compact enough for one table.
std::string summary(const ProgramStep &step)
{
    std::string text = std::to_string(step.line) + "@" + std::to_string(step.start.count());
    if (step.mode != 0)
        text += " m" + std::to_string(step.mode) + "=" + std::to_string(step.setpoint);
    if (step.input)
        text += *step.input ? " on" : " off";
    return text + " " + std::to_string(step.dwell.count()) + "ms";
}

struct Case
{
    const char *name;
    std::string file;
    std::vector<std::string> steps;    // summaries, when the file is good
    std::vector<std::string> problems; // "LINE: message", when it is not
};

const std::vector<Case> kCases = {
    {"Example",
     "mode,setpoint,input,dwell,comment\nCC,0.500,on,60,warm-up\nCC,2.000,,10,pulse\n"
     "CC,0.500,,50,\n,,off,0,\n",
     {"2@0 m2=500 on 60000ms", "3@60000 m2=2000 10000ms", "4@70000 m2=500 50000ms",
      "5@120000 off 0ms"},
     {}},
    {"SemicolonsCrlfBomCommentsBlankLinesAnyOrder",
     "\xEF\xBB\xBF# bench profile\r\ndwell;Mode;SETPOINT;input\r\n\r\n0.005;cv;12.34V;on\r\n"
     "# pause\r\n1.5;CP;150W;\r\n",
     {"4@0 m1=1234 on 5ms", "6@5 m3=1500 1500ms"},
     {}},
    {"QuotedFieldsWithSeparatorsQuotesAndLineEnds",
     "mode,setpoint,input,dwell,comment\nCR,\"47.5\u03A9\",off,1,\"say \"\"hi\"\", twice\nok\"\n"
     "CC,1500mA,,0.25,\n",
     {"2@0 m4=475 off 1000ms", "4@1000 m2=1500 250ms"},
     {}},
    {"UnitsAndRangeEnds",
     "mode,setpoint,dwell\nCV,63.00,1\nCV,0,1\nCC,15,1\nCP,200.0,1\nCR,999.9,1\n",
     {"2@0 m1=6300 1000ms", "3@1000 m1=0 1000ms", "4@2000 m2=15000 1000ms",
      "5@3000 m3=2000 1000ms", "6@4000 m4=9999 1000ms"},
     {}},
    {"EveryRowProblemIsReported",
     "mode,setpoint,input,dwell,comment\nCX,1,,0.001,\nCV,,,1,\n,5,,1,\nCV,63.01,,1,\nCC,0.0005,,1,\n"
     "CV,1,maybe,1,\nCV,1,,,\nCV,1,,1.5s,\nCV,1,,0.0001,\nCV,1,,86400.001,\n,,,1,\n"
     "CV,1,,0.004,\nCV,\"1,5\",,1,\nCV,1,,1,x,y\n,,off,0,\n",
     {},
     {"2: unknown mode 'CX': use CV, CC, CP or CR, or leave it empty for a step that only "
      "switches the input",
      "2: dwell 0.001 s is shorter than 0.005 s: only the last step may have 0",
      "3: missing CV setpoint: give volts from 0 to 63.00 V, e.g. 31.50",
      "4: setpoint '5' without a mode: give the mode (CV, CC, CP or CR) or leave the setpoint "
      "empty",
      "5: '63.01' is out of range: CV takes 0 to 63.00 V",
      "6: '0.0005' is finer than the CC step: CC takes whole 0.001 A steps",
      "7: input 'maybe' must be on, off or empty (left as it is)",
      "8: missing dwell: give the seconds the step lasts, e.g. 1.5",
      "9: dwell '1.5s' is not a number of seconds: use digits with '.' as the decimal point, "
      "e.g. 1.5",
      "10: dwell '0.0001' is finer than 0.001 s",
      "11: dwell '86400.001' is longer than 24 hours (86400 s)",
      "12: the step sets nothing: give a mode and a setpoint, an input, or both",
      "13: dwell 0.004 s is shorter than 0.005 s: only the last step may have 0",
      "14: '1,5' is not a CV setpoint: give volts as digits with '.' as the decimal point, e.g. "
      "31.50 or 31.50V",
      "15: 6 fields, but the header names 5 columns: quote a field that holds the separator"}},
    {"ZeroDwellOnlyLast", "input,dwell\non,0\noff,0\n", {},
     {"2: dwell 0 s is shorter than 0.005 s: only the last step may have 0"}},
    {"HeaderProblems", "mode,setpoint,voltage,dwell,dwell\n", {},
     {"1: unknown column 'voltage': the columns are mode, setpoint, input, dwell, comment",
      "1: column 'dwell' is named twice"}},
    {"NoHeaderRow", "CC,0.5,on,60\n", {},
     {"1: no header row: the first row names the columns, e.g. "
      "mode,setpoint,input,dwell,comment"}},
    {"NoDwellColumn", "mode,setpoint\nCV,1\n", {},
     {"1: no dwell column: every step needs its seconds"}},
    {"NoSteps", "# nothing yet\nmode,setpoint,dwell\n\n", {},
     {"0: no steps: the header row has no step below it"}},
    {"Empty", "", {},
     {"0: no header row: the first row names the columns, e.g. "
      "mode,setpoint,input,dwell,comment"}},
    {"UnclosedQuote", "input,dwell,comment\non,1,\"open\n", {},
     {"2: a quoted field is not closed: end it with '\"'"}},
    {"NotText", std::string("input,dwell\non,1\n") + '\0' + "\x01", {},
     {"0: not a text file (byte 0 at line 3): a program is a CSV file of UTF-8 text"}},
    {"NotUtf8", "input,dwell,comment\non,1,caf\xE9\n", {},
     {"0: not a text file (byte 233 at line 2): a program is a CSV file of UTF-8 text"}},
};

class ProgramFile : public testing::TestWithParam<Case>
{
};

TEST_P(ProgramFile, GivesItsStepsOrEveryProblem)
{
    const Case &c = GetParam();
    const Program program = parseProgram(c.file);
    std::vector<std::string> problems;
    for (const ProgramProblem &p : program.problems)
        problems.push_back(std::to_string(p.line) + ": " + p.message);
    EXPECT_EQ(problems, c.problems);
    if (c.problems.empty()) {
        std::vector<std::string> steps;
        for (const ProgramStep &s : program.steps)
            steps.push_back(summary(s));
        EXPECT_EQ(steps, c.steps);
    }
}

INSTANTIATE_TEST_SUITE_P(Table, ProgramFile, testing::ValuesIn(kCases),
                         [](const auto &row) { return std::string(row.param.name); });

TEST(ProgramFileLimits, StepCountAndSize)
{
    std::string file = "input,dwell\n";
    for (std::size_t i = 0; i < kMaxProgramSteps; ++i)
        file += "on,1\n";
    EXPECT_TRUE(parseProgram(file).problems.empty());
    file += "off,0\n";
    const Program over = parseProgram(file);
    ASSERT_EQ(over.problems.size(), 1u);
    EXPECT_EQ(problemText("p.csv", over.problems[0]),
              "p.csv:100002: more than 100000 steps: split the program");

    const Program large = parseProgram(std::string(kMaxProgramBytes + 1, '#'));
    ASSERT_EQ(large.problems.size(), 1u);
    EXPECT_EQ(problemText("p.csv", large.problems[0]),
              "p.csv: the file is larger than 10 MB (10485761 bytes): a program holds at most "
              "100000 steps");
}

TEST(ProgramFileOnDisk, OpensByItsUtf8NameOrSaysWhyNot)
{
    const test::TempDir dir;
    std::ofstream(std::filesystem::u8path(dir.path("Pr\u00FCfung.csv")), std::ios::binary)
        << "input,dwell\non,1\n";
    const struct
    {
        std::string path;
        const char *problem; // none when it opens
    } cases[] = {
        {dir.path("Pr\u00FCfung.csv"), nullptr},
        {dir.path("Pr\u00FCfungen.csv"), "cannot be read: no such file"},
        {dir.path(), "is a folder, not a program file"},
    };
    for (const auto &c : cases) {
        const Program program = loadProgram(c.path);
        if (!c.problem) {
            EXPECT_TRUE(program.problems.empty()) << c.path;
            EXPECT_EQ(program.steps.size(), 1u) << c.path;
            continue;
        }
        ASSERT_EQ(program.problems.size(), 1u) << c.path;
        EXPECT_EQ(program.problems[0].message, c.problem);
    }
}

} // namespace
} // namespace rz417
