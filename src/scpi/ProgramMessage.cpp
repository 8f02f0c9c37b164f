#include "scpi/ProgramMessage.h"

#include "protocol/SetpointValue.h"

namespace rz417::scpi {

namespace {

constexpr std::size_t kMaxMnemonic = 12; // IEEE 488.2's longest program mnemonic
constexpr std::size_t kMaxDigits = 255;
constexpr int kMaxExponent = 32000;

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool isLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

char upper(char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// Whether a parameter could start here: a second one without its comma.
bool startsParam(char c)
{
    return isDigit(c) || isLetter(c) || c == '+' || c == '-' || c == '.' || c == '"' || c == '\'' ||
           c == '#' || c == '(';
}

} // namespace

std::string quotedText(std::string_view text)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : quotedWord(text)) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            out += c;
        } else {
            out += "\\x";
            out += digits[byte >> 4];
            out += digits[byte & 0xF];
        }
    }
    return out;
}

UnitRead MessageReader::fail(int code, std::string text)
{
    m_done = true;
    UnitRead read;
    read.kind = UnitRead::Kind::Error;
    read.errorCode = code;
    read.errorText = std::move(text);
    return read;
}

void MessageReader::skipSpace()
{
    while (m_pos < m_text.size() && isSpace(m_text[m_pos]))
        ++m_pos;
}

bool MessageReader::atUnitEnd() const
{
    return m_pos >= m_text.size() || m_text[m_pos] == ';';
}

UnitRead MessageReader::next()
{
    // An empty unit (";;", a trailing ';') is passed over.
    for (;;) {
        if (m_done)
            return {};
        skipSpace();
        if (m_pos >= m_text.size()) {
            m_done = true;
            return {};
        }
        if (m_text[m_pos] != ';')
            break;
        ++m_pos;
    }
    UnitRead read;
    read.kind = UnitRead::Kind::Unit;
    const std::size_t start = m_pos;
    if (!readHeader(read.unit, read))
        return read;
    read.unit.header = std::string(m_text.substr(start, m_pos - start));
    const bool spaced = m_pos < m_text.size() && isSpace(m_text[m_pos]);
    skipSpace();
    if (!atUnitEnd() && !spaced)
        return fail(-101, "Invalid character;" + quotedText(m_text.substr(m_pos, 1)) +
                              " after the header " + quotedText(read.unit.header));
    while (!atUnitEnd()) {
        Param param;
        const std::size_t from = m_pos;
        if (!readParam(param, read))
            return read;
        param.text = std::string(m_text.substr(from, m_pos - from));
        read.unit.params.push_back(std::move(param));
        skipSpace();
        if (atUnitEnd())
            break;
        if (m_text[m_pos] != ',') {
            if (startsParam(m_text[m_pos]))
                return fail(-103, "Invalid separator;parameters are separated by ',' in " +
                                      quotedText(read.unit.header));
            return fail(-101, "Invalid character;" + quotedText(m_text.substr(m_pos, 1)) +
                                  " in the parameters of " + quotedText(read.unit.header));
        }
        ++m_pos;
        skipSpace();
        if (atUnitEnd())
            return fail(-102, "Syntax error;a parameter of " + quotedText(read.unit.header) +
                                  " is missing after ','");
    }
    if (m_pos < m_text.size())
        ++m_pos; // the ';'
    return read;
}

void MessageReader::readName(std::string &name)
{
    while (m_pos < m_text.size() &&
           (isLetter(m_text[m_pos]) || isDigit(m_text[m_pos]) || m_text[m_pos] == '_'))
        name += m_text[m_pos++];
}

bool MessageReader::readCommonHeader(ProgramUnit &unit, std::size_t start, UnitRead &error)
{
    ++m_pos;
    std::string name = "*";
    readName(name);
    if (name.size() == 1 || !isLetter(name[1])) {
        error = fail(-102, "Syntax error;a common command is '*' and a name: " +
                               quotedText(m_text.substr(start)));
        return false;
    }
    if (name.size() - 1 > kMaxMnemonic) {
        error = fail(-112, "Program mnemonic too long;" + quotedText(name.substr(1)));
        return false;
    }
    unit.common = true;
    unit.nodes.push_back({std::move(name), {}});
    return true;
}

bool MessageReader::readNodes(ProgramUnit &unit, std::size_t start, UnitRead &error)
{
    for (;;) {
        if (m_pos >= m_text.size() || !isLetter(m_text[m_pos])) {
            const std::string_view seen =
                m_pos < m_text.size() ? m_text.substr(m_pos, 1) : std::string_view();
            error = fail(-102, "Syntax error;" +
                                   (seen.empty() ? std::string("a header ends in ':'")
                                                 : quotedText(seen) + " where a command " +
                                                       "name was expected") +
                                   ": " + quotedText(m_text.substr(start)));
            return false;
        }
        std::string name;
        readName(name);
        if (name.size() > kMaxMnemonic) {
            error = fail(-112, "Program mnemonic too long;" + quotedText(name) +
                                   " has more than 12 characters");
            return false;
        }
        std::size_t digits = name.size();
        while (digits > 0 && isDigit(name[digits - 1]))
            --digits;
        unit.nodes.push_back({name.substr(0, digits), name.substr(digits)});
        if (m_pos < m_text.size() && m_text[m_pos] == ':') {
            ++m_pos;
            continue;
        }
        return true;
    }
}

bool MessageReader::readHeader(ProgramUnit &unit, UnitRead &error)
{
    const std::size_t start = m_pos;
    if (m_text[m_pos] == ':') {
        unit.absolute = true;
        ++m_pos;
    }
    if (!unit.absolute && m_text[m_pos] == '*') {
        if (!readCommonHeader(unit, start, error))
            return false;
    } else if (!readNodes(unit, start, error)) {
        return false;
    }
    if (m_pos < m_text.size() && m_text[m_pos] == '?') {
        unit.query = true;
        ++m_pos;
    }
    if (m_pos < m_text.size() && !isSpace(m_text[m_pos]) && m_text[m_pos] != ';') {
        error = fail(-101, "Invalid character;" + quotedText(m_text.substr(m_pos, 1)) +
                               " in the header " + quotedText(m_text.substr(start)));
        return false;
    }
    return true;
}

bool MessageReader::readParam(Param &param, UnitRead &error)
{
    const char c = m_text[m_pos];
    if (isDigit(c) || c == '+' || c == '-' || c == '.')
        return readNumber(param, error);
    if (isLetter(c)) {
        param.kind = ParamKind::Word;
        while (m_pos < m_text.size() &&
               (isLetter(m_text[m_pos]) || isDigit(m_text[m_pos]) || m_text[m_pos] == '_'))
            param.word += upper(m_text[m_pos++]);
        if (param.word.size() > kMaxMnemonic) {
            error = fail(-144, "Character data too long;" + quotedText(param.word) +
                                   " has more than 12 characters");
            return false;
        }
        return true;
    }
    if (c == '"' || c == '\'') {
        param.kind = ParamKind::String;
        ++m_pos;
        for (;;) {
            if (m_pos >= m_text.size()) {
                error = fail(-151, std::string("Invalid string data;the string has no closing ") +
                                       (c == '"' ? "'\"\"'" : "\"'\""));
                return false;
            }
            if (m_text[m_pos] == c) {
                if (m_pos + 1 < m_text.size() && m_text[m_pos + 1] == c) {
                    param.word += c;
                    m_pos += 2;
                    continue;
                }
                ++m_pos;
                return true;
            }
            param.word += m_text[m_pos++];
        }
    }
    if (c == '#')
        return readHash(param, error);
    if (c == '(') {
        param.kind = ParamKind::Expression;
        int depth = 0;
        while (m_pos < m_text.size()) {
            const char e = m_text[m_pos++];
            depth += e == '(' ? 1 : e == ')' ? -1 : 0;
            if (depth == 0)
                return true;
        }
        error = fail(-171, "Invalid expression;'(' without its ')'");
        return false;
    }
    if (c == ',') {
        error = fail(-102, "Syntax error;a parameter is missing before ','");
        return false;
    }
    error = fail(-101, "Invalid character;" + quotedText(m_text.substr(m_pos, 1)) +
                           " where a parameter was expected");
    return false;
}

void MessageReader::readDigits(std::string &digits)
{
    while (m_pos < m_text.size() && isDigit(m_text[m_pos]))
        digits += m_text[m_pos++];
}

// The number's error quotes it from its start to where its parameter ends.
bool MessageReader::badNumber(std::size_t start, int code, const std::string &text, UnitRead &error)
{
    std::size_t end = m_pos;
    while (end < m_text.size() && !isSpace(m_text[end]) && m_text[end] != ',' && m_text[end] != ';')
        ++end;
    error = fail(code, text + quotedText(m_text.substr(start, end - start)));
    return false;
}

// An exponent: E and digits with an optional sign, white space allowed before and after the E;
// an E followed by letters is a suffix, and is left where it is.
bool MessageReader::readExponent(Param &param, std::size_t start, UnitRead &error)
{
    std::size_t e = m_pos;
    while (e < m_text.size() && isSpace(m_text[e]))
        ++e;
    if (e >= m_text.size() || (m_text[e] != 'e' && m_text[e] != 'E'))
        return true;
    std::size_t p = e + 1;
    while (p < m_text.size() && isSpace(m_text[p]))
        ++p;
    const bool negative = p < m_text.size() && m_text[p] == '-';
    const bool sign = p < m_text.size() && (m_text[p] == '+' || m_text[p] == '-');
    if (sign)
        ++p;
    if (p < m_text.size() && isDigit(m_text[p])) {
        long exponent = 0;
        while (p < m_text.size() && isDigit(m_text[p])) {
            if (exponent <= kMaxExponent)
                exponent = exponent * 10 + (m_text[p] - '0');
            ++p;
        }
        m_pos = p;
        if (exponent > kMaxExponent)
            return badNumber(start, -123, "Exponent too large;beyond 32000 in ", error);
        param.exponent = static_cast<int>(negative ? -exponent : exponent);
    } else if (sign) {
        m_pos = p;
        return badNumber(start, -121, "Invalid character in number;an exponent without digits in ",
                         error);
    }
    return true;
}

// A unit suffix, directly or after white space.
bool MessageReader::readSuffix(Param &param, std::size_t start, UnitRead &error)
{
    std::size_t p = m_pos;
    while (p < m_text.size() && isSpace(m_text[p]))
        ++p;
    if (p >= m_text.size() || !isLetter(m_text[p]))
        return true;
    m_pos = p;
    while (m_pos < m_text.size() && isLetter(m_text[m_pos]))
        param.suffix += m_text[m_pos++];
    if (param.suffix.size() > kMaxMnemonic)
        return badNumber(start, -134, "Suffix too long;more than 12 characters in ", error);
    if (m_pos < m_text.size() && (isDigit(m_text[m_pos]) || m_text[m_pos] == '_'))
        return badNumber(start, -131, "Invalid suffix;", error);
    return true;
}

bool MessageReader::readNumber(Param &param, UnitRead &error)
{
    param.kind = ParamKind::Number;
    const std::size_t start = m_pos;
    if (m_text[m_pos] == '+' || m_text[m_pos] == '-')
        param.negative = m_text[m_pos++] == '-';
    std::string whole, fraction;
    readDigits(whole);
    const bool point = m_pos < m_text.size() && m_text[m_pos] == '.';
    if (point) {
        ++m_pos;
        readDigits(fraction);
    }
    if (whole.empty() && fraction.empty())
        return badNumber(start, -121, "Invalid character in number;no digits in ", error);
    if (whole.size() + fraction.size() > kMaxDigits)
        return badNumber(start, -124, "Too many digits;more than 255 in ", error);
    if (m_pos < m_text.size() && m_text[m_pos] == '.')
        return badNumber(start, -121, "Invalid character in number;a second '.' in ", error);
    if (!readExponent(param, start, error))
        return false;
    while (!whole.empty() && whole.size() > 1 && whole[0] == '0')
        whole.erase(0, 1);
    param.mantissa = (whole.empty() ? "0" : whole) + (fraction.empty() ? "" : "." + fraction);
    return readSuffix(param, start, error);
}

bool MessageReader::readHash(Param &param, UnitRead &error)
{
    const std::size_t start = m_pos++;
    const char base = m_pos < m_text.size() ? upper(m_text[m_pos]) : '\0';
    if (base == 'H' || base == 'Q' || base == 'B') {
        ++m_pos;
        const uint32_t radix = base == 'H' ? 16 : base == 'Q' ? 8 : 2;
        uint64_t value = 0;
        std::size_t count = 0;
        for (; m_pos < m_text.size(); ++m_pos, ++count) {
            const char d = upper(m_text[m_pos]);
            const int digit = isDigit(d) ? d - '0' : d >= 'A' && d <= 'F' ? d - 'A' + 10 : 99;
            if (digit >= static_cast<int>(radix))
                break;
            value = value * radix + static_cast<uint64_t>(digit);
            if (value > 0xFFFFFFFFu) {
                error = fail(-124, "Too many digits;" + quotedText(m_text.substr(start, 16)));
                return false;
            }
        }
        if (count == 0 ||
            (m_pos < m_text.size() && (isDigit(m_text[m_pos]) || isLetter(m_text[m_pos])))) {
            error = fail(-121, "Invalid character in number;" +
                                   quotedText(m_text.substr(start, m_pos + 1 - start)));
            return false;
        }
        param.kind = ParamKind::NonDecimal;
        param.nonDecimal = static_cast<uint32_t>(value);
        return true;
    }
    if (isDigit(base)) {
        param.kind = ParamKind::Block;
        const auto lengthDigits = static_cast<std::size_t>(base - '0');
        ++m_pos;
        if (lengthDigits == 0) {
            m_pos = m_text.size(); // an indefinite block runs to the end of the message
            return true;
        }
        std::size_t length = 0;
        for (std::size_t i = 0; i < lengthDigits; ++i, ++m_pos) {
            if (m_pos >= m_text.size() || !isDigit(m_text[m_pos])) {
                error = fail(-161, "Invalid block data;the length after '#" + std::string(1, base) +
                                       "' is not " + std::to_string(lengthDigits) + " digits");
                return false;
            }
            length = length * 10 + static_cast<std::size_t>(m_text[m_pos] - '0');
        }
        if (length > m_text.size() - m_pos) {
            error = fail(-161, "Invalid block data;the block is shorter than its length " +
                                   std::to_string(length));
            return false;
        }
        m_pos += length;
        return true;
    }
    error = fail(-102, "Syntax error;'#' starts #H, #Q, #B numbers or a block: " +
                           quotedText(m_text.substr(start, 8)));
    return false;
}

} // namespace rz417::scpi
