#include "program/Program.h"

#include "protocol/TimeText.h"

#include "program/CsvReader.h"
#include "protocol/Modes.h"
#include "protocol/SetpointValue.h"

#include <algorithm>
#include <array>
#include <climits>
#include <filesystem>
#include <fstream>

namespace rz417 {

namespace {

enum class Column { Mode, Setpoint, Input, Dwell, Comment };

constexpr std::array<std::pair<const char *, Column>, 5> kColumns{{
    {"mode", Column::Mode},
    {"setpoint", Column::Setpoint},
    {"input", Column::Input},
    {"dwell", Column::Dwell},
    {"comment", Column::Comment},
}};
constexpr const char *kColumnList = "mode, setpoint, input, dwell, comment";
constexpr int64_t kLongestDwellMs = 24LL * 60 * 60 * 1000;
constexpr int64_t kShortestDwellMs = 5;

std::string lower(std::string_view text)
{
    std::string out(text);
    for (char &c : out) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

// The first byte that keeps the file from being UTF-8 text, or npos.
std::size_t firstNonText(std::string_view bytes)
{
    std::size_t i = 0;
    while (i < bytes.size()) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        if (c == 0 || (c < 0x20 && c != '\t' && c != '\n' && c != '\r') || c == 0x7F)
            return i;
        std::size_t extra = 0;
        if (c >= 0x80) {
            if (c >= 0xC2 && c <= 0xDF)
                extra = 1;
            else if (c >= 0xE0 && c <= 0xEF)
                extra = 2;
            else if (c >= 0xF0 && c <= 0xF4)
                extra = 3;
            else
                return i;
            if (i + extra >= bytes.size())
                return i;
            for (std::size_t k = 1; k <= extra; ++k) {
                if ((static_cast<unsigned char>(bytes[i + k]) & 0xC0) != 0x80)
                    return i;
            }
        }
        i += 1 + extra;
    }
    return std::string_view::npos;
}

int lineOf(std::string_view bytes, std::size_t offset)
{
    int line = 1;
    for (std::size_t i = 0; i < offset && i < bytes.size(); ++i) {
        if (bytes[i] == '\n')
            ++line;
    }
    return line;
}

struct Header
{
    std::vector<std::optional<Column>> columns; // per field; nothing for a column in error
    bool has[kColumns.size()] = {};
};

bool has(const Header &header, Column column)
{
    return header.has[static_cast<std::size_t>(column)];
}

// Checks one row against the header; adds the step, or its problems.
// The dwell of a row whose dwell could be read, problems elsewhere in it or not.
struct RowDwell
{
    int line;
    std::optional<std::chrono::milliseconds> dwell;
};

using RowFields = std::array<std::string, kColumns.size()>;

// A row's fields by column; more fields than the header names is a problem.
RowFields rowFields(const CsvRecord &record, const Header &header,
                    std::vector<std::string> &problems)
{
    RowFields fields;
    for (std::size_t i = 0; i < record.fields.size(); ++i) {
        if (i < header.columns.size()) {
            if (header.columns[i])
                fields[static_cast<std::size_t>(*header.columns[i])] = record.fields[i];
        } else if (!record.fields[i].empty()) {
            problems.push_back(std::to_string(record.fields.size()) + " fields, but the header " +
                               "names " + std::to_string(header.columns.size()) +
                               " columns: quote a field that holds the separator");
            break;
        }
    }
    return fields;
}

// The mode and its setpoint, or neither.
void readSetpoint(const std::string &modeText, const std::string &setpointText, ProgramStep &step,
                  std::vector<std::string> &problems)
{
    const ModeInfo *mode = nullptr;
    if (!modeText.empty()) {
        mode = modeByName(modeText);
        if (!mode)
            problems.push_back("unknown mode " + quotedWord(modeText) + ": use CV, CC, CP or CR, " +
                               "or leave it empty for a step that only switches the input");
    }
    if (mode) {
        step.mode = mode->code;
        const ParsedSetpoint parsed = parseSetpoint(mode->code, setpointText);
        if (parsed.value)
            step.setpoint = *parsed.value;
        else
            problems.push_back(parsed.error);
    } else if (modeText.empty() && !setpointText.empty()) {
        problems.push_back("setpoint " + quotedWord(setpointText) + " without a mode: give the " +
                           "mode (CV, CC, CP or CR) or leave the setpoint empty");
    }
}

// The step's dwell; false when there is none that can be read.
bool readDwell(const std::string &dwellText, ProgramStep &step, std::vector<std::string> &problems)
{
    if (dwellText.empty()) {
        problems.push_back("missing dwell: give the seconds the step lasts, e.g. 1.5");
        return false;
    }
    const Fixed dwell = parseFixed(dwellText, 3, 0, kLongestDwellMs);
    switch (dwell.error) {
    case FixedError::None:
        step.dwell = std::chrono::milliseconds(dwell.value);
        return true;
    case FixedError::NotANumber:
        problems.push_back("dwell " + quotedWord(dwellText) + " is not a number of seconds: " +
                           "use digits with '.' as the decimal point, e.g. 1.5");
        break;
    case FixedError::TooFine:
        problems.push_back("dwell " + quotedWord(dwellText) + " is finer than 0.001 s");
        break;
    case FixedError::TooLarge:
        problems.push_back("dwell " + quotedWord(dwellText) + " is longer than 24 hours " +
                           "(86400 s)");
        break;
    }
    return false;
}

RowDwell readRow(const CsvRecord &record, const Header &header, Program &program)
{
    std::vector<std::string> problems;
    const RowFields fields = rowFields(record, header, problems);
    auto field = [&](Column c) -> const std::string & {
        return fields[static_cast<std::size_t>(c)];
    };

    ProgramStep step;
    step.line = record.line;
    step.comment = field(Column::Comment);
    readSetpoint(field(Column::Mode), field(Column::Setpoint), step, problems);

    const std::string input = lower(field(Column::Input));
    if (input == "on")
        step.input = true;
    else if (input == "off")
        step.input = false;
    else if (!input.empty())
        problems.push_back("input " + quotedWord(field(Column::Input)) + " must be on, off or " +
                           "empty (left as it is)");

    const bool dwellRead = readDwell(field(Column::Dwell), step, problems);
    if (field(Column::Mode).empty() && field(Column::Setpoint).empty() && input.empty())
        problems.push_back("the step sets nothing: give a mode and a setpoint, an input, " +
                           std::string("or both"));

    const RowDwell row{record.line, dwellRead ? std::optional(step.dwell) : std::nullopt};
    for (std::string &message : problems)
        program.problems.push_back({record.line, std::move(message)});
    if (problems.empty())
        program.steps.push_back(std::move(step));
    return row;
}

} // namespace

std::chrono::milliseconds Program::duration() const
{
    return steps.empty() ? std::chrono::milliseconds(0) : steps.back().start + steps.back().dwell;
}

namespace {

// The file as a whole: not too large, and text; a byte-order mark is passed over.
bool checkText(std::string_view &bytes, Program &program)
{
    if (bytes.size() > kMaxProgramBytes) {
        program.problems.push_back({0, "the file is larger than 10 MB (" +
                                           std::to_string(bytes.size()) + " bytes): a program " +
                                           "holds at most 100000 steps"});
        return false;
    }
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF")
        bytes.remove_prefix(3);
    if (const auto bad = firstNonText(bytes); bad != std::string_view::npos) {
        program.problems.push_back({0, "not a text file (byte " +
                                           std::to_string(static_cast<unsigned char>(bytes[bad])) +
                                           " at line " + std::to_string(lineOf(bytes, bad)) +
                                           "): a program is a CSV file of UTF-8 text"});
        return false;
    }
    return true;
}

// The header row's columns; false when the file cannot be read further.
bool readHeader(const CsvRecord &first, Header &header, Program &program)
{
    bool looksLikeData = false;
    for (const std::string &raw : first.fields) {
        const std::string name = lower(raw);
        std::optional<Column> column;
        for (const auto &[text, c] : kColumns) {
            if (name == text)
                column = c;
        }
        if (column && header.has[static_cast<std::size_t>(*column)]) {
            program.problems.push_back(
                {first.line, "column " + quotedWord(raw) + " is named twice"});
            column.reset();
        } else if (column) {
            header.has[static_cast<std::size_t>(*column)] = true;
        } else if (modeByName(raw) ||
                   parseFixed(raw, 3, 0, INT64_MAX).error != FixedError::NotANumber) {
            looksLikeData = true;
        } else {
            program.problems.push_back({first.line, "unknown column " + quotedWord(raw) +
                                                        ": the columns are " + kColumnList});
        }
        header.columns.push_back(column);
    }
    if (looksLikeData) {
        program.problems.clear();
        program.problems.push_back({first.line, "no header row: the first row names the " +
                                                    std::string("columns, e.g. ") +
                                                    "mode,setpoint,input,dwell,comment"});
        return false;
    }
    if (!has(header, Column::Dwell))
        program.problems.push_back(
            {first.line, "no dwell column: every step needs its " + std::string("seconds")});
    if (has(header, Column::Mode) != has(header, Column::Setpoint))
        program.problems.push_back({first.line, "mode and setpoint columns go together"});
    if (!has(header, Column::Mode) && !has(header, Column::Input))
        program.problems.push_back(
            {first.line, "no mode and no input column: a step sets " + std::string("one or both")});
    return program.problems.empty();
}

// Only the last row may end the program at once; each step starts where the one before ends.
void placeSteps(const std::vector<RowDwell> &dwells, Program &program)
{
    for (std::size_t i = 0; i < dwells.size(); ++i) {
        const auto dwell = dwells[i].dwell;
        const bool last = i + 1 == dwells.size();
        if (dwell && dwell->count() < kShortestDwellMs && !(last && dwell->count() == 0)) {
            program.problems.push_back(
                {dwells[i].line, "dwell " + secondsText(*dwell) + " s is shorter than " +
                                     "0.005 s: only the last step may have 0"});
        }
    }
    std::chrono::milliseconds start{0};
    for (ProgramStep &step : program.steps) {
        step.start = start;
        start += step.dwell;
    }
}

} // namespace

Program parseProgram(std::string_view bytes)
{
    Program program;
    if (!checkText(bytes, program))
        return program;
    CsvReader reader(bytes);
    std::optional<CsvRecord> first = reader.next();
    if (!first) {
        program.problems.push_back({0, "no header row: the first row names the columns, e.g. " +
                                           std::string("mode,setpoint,input,dwell,comment")});
        return program;
    }
    Header header;
    if (!readHeader(*first, header, program))
        return program;

    std::vector<RowDwell> dwells;
    std::size_t rows = 0;
    while (std::optional<CsvRecord> record = reader.next()) {
        if (++rows > kMaxProgramSteps) {
            program.problems.push_back(
                {record->line, "more than 100000 steps: split the " + std::string("program")});
            break;
        }
        dwells.push_back(readRow(*record, header, program));
    }
    for (const CsvProblem &problem : reader.problems())
        program.problems.push_back({problem.line, problem.message});
    if (rows == 0) {
        program.problems.push_back({0, "no steps: the header row has no step below it"});
        return program;
    }
    placeSteps(dwells, program);
    std::stable_sort(
        program.problems.begin(), program.problems.end(),
        [](const ProgramProblem &a, const ProgramProblem &b) { return a.line < b.line; });
    return program;
}

Program loadProgram(const std::string &path)
{
    Program program;
    // The name is UTF-8 on every system; through a path Windows opens it with its wide calls.
    const std::filesystem::path file = std::filesystem::u8path(path);
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(file, error);
    if (error || !std::filesystem::exists(status)) {
        program.problems.push_back({0, "cannot be read: no such file"});
        return program;
    }
    if (std::filesystem::is_directory(status)) {
        program.problems.push_back({0, "is a folder, not a program file"});
        return program;
    }
    const std::uintmax_t size = std::filesystem::file_size(file, error);
    if (!error && size > kMaxProgramBytes) {
        program.problems.push_back({0, "the file is larger than 10 MB (" + std::to_string(size) +
                                           " bytes): a program holds at most 100000 steps"});
        return program;
    }
    std::ifstream stream(file, std::ios::binary);
    if (!stream) {
        program.problems.push_back({0, "cannot be read: permission denied or not a file"});
        return program;
    }
    // One byte more than allowed tells a file that grew since it was measured from one that fits.
    std::string bytes(kMaxProgramBytes + 1, '\0');
    stream.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (stream.bad()) {
        program.problems.push_back({0, "cannot be read: read error"});
        return program;
    }
    bytes.resize(static_cast<std::size_t>(stream.gcount()));
    return parseProgram(bytes);
}

std::string problemText(const std::string &file, const ProgramProblem &problem)
{
    if (problem.line == 0)
        return file + ": " + problem.message;
    return file + ":" + std::to_string(problem.line) + ": " + problem.message;
}

} // namespace rz417
