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

std::optional<CsvRecord> CsvReader::next()
{
    // Blank and comment lines between records.
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
    if (m_pos >= m_text.size())
        return std::nullopt;
    if (m_separator == 0)
        chooseSeparator();

    CsvRecord record;
    record.line = m_line;
    bool reported = false;
    auto problem = [&](std::string message) {
        if (!reported)
            m_problems.push_back({record.line, std::move(message)});
        reported = true;
    };
    for (;;) {
        std::string field;
        if (m_pos < m_text.size() && m_text[m_pos] == '"') {
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
                problem("a quoted field is not closed: end it with '\"'");
                record.fields.push_back(std::move(field));
                return record;
            }
            while (m_pos < m_text.size() && (m_text[m_pos] == ' ' || m_text[m_pos] == '\t'))
                ++m_pos;
            if (!atLineEnd() && m_text[m_pos] != m_separator) {
                problem("text after a quoted field: a field is either quoted whole or not " +
                        std::string("at all"));
                while (!atLineEnd() && m_text[m_pos] != m_separator)
                    ++m_pos;
            }
        } else {
            while (!atLineEnd() && m_text[m_pos] != m_separator) {
                if (m_text[m_pos] == '"')
                    problem("a '\"' inside an unquoted field: quote the whole field and double " +
                            std::string("the '\"'"));
                field += m_text[m_pos++];
            }
            field = trimmed(field);
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
