#include "link/LineSettings.h"

#include <vector>

namespace rz417 {

namespace {

// Splits on commas or runs of blanks; an empty field between two commas is kept, so that it is
// refused.
std::vector<std::string> splitFields(const std::string &text)
{
    std::vector<std::string> fields;
    const bool commas = text.find(',') != std::string::npos;
    std::string field;
    bool inField = false;
    for (const char c : text) {
        const bool sep = commas ? c == ',' : c == ' ';
        if (sep) {
            if (commas || inField)
                fields.push_back(field);
            field.clear();
            inField = false;
        } else {
            field += c;
            inField = true;
        }
    }
    if (commas || inField)
        fields.push_back(field);
    return fields;
}

bool allDigits(const std::string &s)
{
    if (s.empty())
        return false;
    for (const char c : s) {
        if (c < '0' || c > '9')
            return false;
    }
    return true;
}

} // namespace

std::optional<LineSettings> parseLineSettings(const std::string &text)
{
    const std::vector<std::string> f = splitFields(text);
    if (f.size() != 4)
        return std::nullopt;

    LineSettings s;
    // Up to 4,000,000 baud; the length check keeps the arithmetic from overflowing.
    if (!allDigits(f[0]) || f[0].size() > 7)
        return std::nullopt;
    int32_t baud = 0;
    for (const char c : f[0])
        baud = baud * 10 + (c - '0');
    if (baud <= 0 || baud > 4000000)
        return std::nullopt;
    s.baudRate = baud;

    if (f[1].size() != 1)
        return std::nullopt;
    switch (f[1][0]) {
    case 'N':
    case 'n':
        s.parity = Parity::None;
        break;
    case 'E':
    case 'e':
        s.parity = Parity::Even;
        break;
    case 'O':
    case 'o':
        s.parity = Parity::Odd;
        break;
    case 'M':
    case 'm':
        s.parity = Parity::Mark;
        break;
    case 'S':
    case 's':
        s.parity = Parity::Space;
        break;
    default:
        return std::nullopt;
    }

    if (f[2].size() != 1 || f[2][0] < '5' || f[2][0] > '8')
        return std::nullopt;
    s.dataBits = f[2][0] - '0';

    if (f[3] == "1")
        s.stopBits = StopBits::One;
    else if (f[3] == "1.5")
        s.stopBits = StopBits::OneAndHalf;
    else if (f[3] == "2")
        s.stopBits = StopBits::Two;
    else
        return std::nullopt;
    return s;
}

} // namespace rz417
