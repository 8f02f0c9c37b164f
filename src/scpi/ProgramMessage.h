#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace rz417::scpi {

enum class ParamKind { Number, Word, String, NonDecimal, Block, Expression };

// One parameter of a command as written.
struct Param
{
    ParamKind kind = ParamKind::Number;
    std::string text; // as written, for messages
    // Number: the sign, the digits with an optional point ("12.34", never ".5" or "5."), the
    // exponent and the unit suffix as written ("mA").
    bool negative = false;
    std::string mantissa;
    int exponent = 0;
    std::string suffix;
    std::string word;        // Word: upper-cased; String: the characters between the quotes
    uint32_t nonDecimal = 0; // NonDecimal: #H, #Q or #B
};

// One node of a header: "VOLT" and its numeric suffix "2", as written.
struct Node
{
    std::string name;
    std::string suffix;
};

// One command of a program message.
struct ProgramUnit
{
    bool absolute = false; // written with a leading ':'
    bool common = false;   // *IDN?: name holds "*IDN"
    bool query = false;
    std::vector<Node> nodes;
    std::vector<Param> params;
    std::string header; // as written, for messages
};

// What reading the next unit gave: a unit, the end of the message, or an error.
struct UnitRead
{
    enum class Kind { Unit, End, Error } kind = Kind::End;
    ProgramUnit unit;
    int errorCode = 0;
    std::string errorText;
};

// Reads program message units one at a time, so that the units before a syntax error run and the
// rest of the message does not.
class MessageReader
{
public:
    explicit MessageReader(std::string_view message) : m_text(message) {}
    UnitRead next();

private:
    UnitRead fail(int code, std::string text);
    void skipSpace();
    bool atUnitEnd() const;
    // Letters, digits and '_' onto name.
    void readName(std::string &name);
    void readDigits(std::string &digits);
    bool readHeader(ProgramUnit &unit, UnitRead &error);
    // The parts of a header and of a number; start is where it began, for the errors' quote.
    bool readCommonHeader(ProgramUnit &unit, std::size_t start, UnitRead &error);
    bool readNodes(ProgramUnit &unit, std::size_t start, UnitRead &error);
    bool readParam(Param &param, UnitRead &error);
    bool readNumber(Param &param, UnitRead &error);
    bool readExponent(Param &param, std::size_t start, UnitRead &error);
    bool readSuffix(Param &param, std::size_t start, UnitRead &error);
    bool badNumber(std::size_t start, int code, const std::string &text, UnitRead &error);
    bool readHash(Param &param, UnitRead &error);

    std::string_view m_text;
    std::size_t m_pos = 0;
    bool m_done = false;
};

// A word of the client's quoted for an error text: printable ASCII only, cut short.
std::string quotedText(std::string_view text);

// IEEE 488.2 white space: the bytes 0 to 32 but the line feed.
inline bool isSpace(char c)
{
    return static_cast<unsigned char>(c) <= 0x20 && c != '\n';
}

} // namespace rz417::scpi
