#include "program/CsvReader.h"

namespace rz417 {

namespace {

std::string trimmed(const std::string &text)
{
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return {};
    const auto last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

} // namespace

bool CsvReader::atLineEnd() const
{
    return m_pos >= m_text.size() || m_text[m_pos] == '\n' ||
           (m_text[m_pos] == '\r' && (m_pos + 1 == m_text.size() || m_text[m_pos + 1] == '\n'));
}

void CsvReader::skipLineEnd()
{
    if (m_pos < m_text.size() && m_text[m_pos] == '\r')
        ++m_pos;
    if (m_pos < m_text.size() && m_text[m_pos] == '\n') {
        ++m_pos;
        ++m_line;
    }
}

void CsvReader::chooseSeparator()
{
    const std::size_t end = m_text.find('\n', m_pos);
    const std::string_view line = m_text.substr(m_pos, end == std::string_view::npos
                                                           ? std::string_view::npos
                                                           : end - m_pos);
    const bool semicolon = line.find(';') != std::string_view::npos;
    const bool comma = line.find(',') != std::string_view::npos;
    m_separator = semicolon && !comma ? ';' : ',';
}

// Only a record's first problem is kept: the rest of the record is read on, and what else is
// wrong with it mostly follows from the first.
class CsvReader::RecordProblems
{
public:
    RecordProblems(std::vector<CsvProblem> &problems, int line) : m_problems(problems), m_line(line)
    {
    }

    void add(std::string message)
    {
        if (!m_reported)
            m_problems.push_back({m_line, std::move(message)});
        m_reported = true;
    }

private:
    std::vector<CsvProblem> &m_problems;
    int m_line;
    bool m_reported = false;
};

void CsvReader::skipBlankLines()
{
    while (m_pos < m_text.size()) {
        std::size_t i = m_pos;
        while (i < m_text.size() && (m_text[i] == ' ' || m_text[i] == '\t'))
            ++i;
        const bool blank = i >= m_text.size() || m_text[i] == '\n' || m_text[i] == '\r';
        if (!blank && m_text[m_pos] != '#')
            break;
        const std::size_t end = m_text.find('\n', m_pos);
        if (end == std::string_view::npos) {
            m_pos = m_text.size();
        } else {
            m_pos = end + 1;
            ++m_line;
        }
    }
}

bool CsvReader::readQuoted(std::string &field, RecordProblems &problems)
{
    ++m_pos;
    bool closed = false;
    while (m_pos < m_text.size()) {
        const char c = m_text[m_pos++];
        if (c == '"') {
            if (m_pos < m_text.size() && m_text[m_pos] == '"') {
                field += '"';
                ++m_pos;
                continue;
            }
            closed = true;
            break;
        }
        if (c == '\n')
            ++m_line;
        field += c;
    }
    if (!closed) {
        problems.add("a quoted field is not closed: end it with '\"'");
        return false;
    }
    while (m_pos < m_text.size() && (m_text[m_pos] == ' ' || m_text[m_pos] == '\t'))
        ++m_pos;
    if (!atLineEnd() && m_text[m_pos] != m_separator) {
        problems.add("text after a quoted field: a field is either quoted whole or not " +
                     std::string("at all"));
        while (!atLineEnd() && m_text[m_pos] != m_separator)
            ++m_pos;
    }
    return true;
}

std::string CsvReader::readUnquoted(RecordProblems &problems)
{
    std::string field;
    while (!atLineEnd() && m_text[m_pos] != m_separator) {
        if (m_text[m_pos] == '"')
            problems.add("a '\"' inside an unquoted field: quote the whole field and double " +
                         std::string("the '\"'"));
        field += m_text[m_pos++];
    }
    return trimmed(field);
}

std::optional<CsvRecord> CsvReader::next()
{
    skipBlankLines();
    if (m_pos >= m_text.size())
        return std::nullopt;
    if (m_separator == 0)
        chooseSeparator();

    CsvRecord record;
    record.line = m_line;
    RecordProblems problems(m_problems, record.line);
    for (;;) {
        std::string field;
        if (m_pos < m_text.size() && m_text[m_pos] == '"') {
            if (!readQuoted(field, problems)) {
                record.fields.push_back(std::move(field));
                return record;
            }
        } else {
            field = readUnquoted(problems);
        }
        record.fields.push_back(std::move(field));
        if (atLineEnd()) {
            skipLineEnd();
            return record;
        }
        ++m_pos; // the separator
    }
}

} // namespace rz417
