#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace rz417 {

struct CsvRecord
{
    int line = 0; // where the record starts, from 1
    std::vector<std::string> fields;
};

struct CsvProblem
{
    int line = 0;
    std::string message;
};

// Records of a CSV text as RFC 4180 has them (quoted fields with doubled quotes, separators and
// line ends inside), with CRLF or LF line ends. Blank lines and lines starting with '#' are
// skipped; unquoted fields lose the blanks around them. The first record read decides the
// separator: ';' when it holds a ';' and no ',', else ','.
class CsvReader
{
public:
    explicit CsvReader(std::string_view text) : m_text(text) {}

    std::optional<CsvRecord> next();
    const std::vector<CsvProblem> &problems() const { return m_problems; }

private:
    class RecordProblems;

    // Blank and comment lines between records.
    void skipBlankLines();
    void chooseSeparator();
    // From the opening quote; false when the field is not closed, which ends the record.
    bool readQuoted(std::string &field, RecordProblems &problems);
    std::string readUnquoted(RecordProblems &problems);
    bool atLineEnd() const;
    void skipLineEnd();

    std::string_view m_text;
    std::size_t m_pos = 0;
    int m_line = 1;
    char m_separator = 0;
    std::vector<CsvProblem> m_problems;
};

} // namespace rz417
