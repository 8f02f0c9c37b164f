#include "protocol/SetpointValue.h"

#include "protocol/Frame.h"
#include "protocol/Modes.h"

#include <algorithm>
#include <optional>
#include <string>

namespace rz417 {

namespace {

constexpr std::size_t kMaxText = 40;
constexpr int kMaxDigits = 18; // what an int64_t holds whatever the digits

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

int64_t pow10(int n)
{
    int64_t p = 1;
    while (n-- > 0)
        p *= 10;
    return p;
}

std::string allowedUnits(const ModeInfo &mode)
{
    std::string text;
    for (const UnitSuffix &suffix : mode.suffixes) {
        if (suffix.text[0] == '\0')
            continue;
        if (!text.empty())
            text += ", ";
        text += suffix.text;
    }
    return text;
}

} // namespace

std::string fixedText(int64_t value, int decimals)
{
    // A figure below zero (a time before the input went on) keeps its sign before the digits.
    if (value < 0)
        return "-" + fixedText(-value, decimals);
    const int64_t scale = pow10(decimals);
    std::string text = std::to_string(value / scale);
    if (decimals > 0) {
        std::string fraction = std::to_string(value % scale);
        fraction.insert(0, static_cast<std::size_t>(decimals) - fraction.size(), '0');
        text += "." + fraction;
    }
    return text;
}

std::string quotedWord(std::string_view text)
{
    static const char digits[] = "0123456789ABCDEF";
    // The length of the well-formed UTF-8 character at i (the ohm sign reads as itself), or 0.
    auto utf8Length = [&](std::size_t i) -> std::size_t {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t n = lead >= 0xF0 && lead <= 0xF4   ? 4
                              : lead >= 0xE0 && lead <= 0xEF ? 3
                              : lead >= 0xC2 && lead <= 0xDF ? 2
                                                             : 0;
        if (n == 0 || i + n > text.size())
            return 0;
        for (std::size_t k = 1; k < n; ++k) {
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80)
                return 0;
        }
        return n;
    };
    std::string out = "'";
    std::size_t i = 0;
    while (i < text.size() && i < kMaxText) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte >= 0x20 && byte < 0x7F) {
            out += text[i++];
        } else if (const std::size_t n = byte >= 0x80 ? utf8Length(i) : 0; n > 0) {
            out.append(text.substr(i, n));
            i += n;
        } else {
            out += "\\x";
            out += digits[byte >> 4];
            out += digits[byte & 0xF];
            ++i;
        }
    }
    if (i < text.size())
        out += "...";
    return out + "'";
}

namespace {

// The digits of a plain decimal number without leading zeros and the power of ten of its last
// one; empty digits for zero. False when the text is not such a number.
bool splitDecimal(std::string_view text, std::string &digits, int &fractionSize)
{
    const auto point = text.find('.');
    const std::string_view whole = text.substr(0, point);
    std::string_view fraction =
        point == std::string_view::npos ? std::string_view() : text.substr(point + 1);
    auto allDigits = [](std::string_view s) {
        for (const char c : s) {
            if (!isDigit(c))
                return false;
        }
        return true;
    };
    if (whole.empty() || !allDigits(whole) || !allDigits(fraction) ||
        (point != std::string_view::npos && fraction.empty()))
        return false;
    while (!fraction.empty() && fraction.back() == '0')
        fraction.remove_suffix(1);
    digits.assign(whole);
    digits += fraction;
    fractionSize = static_cast<int>(fraction.size());
    digits.erase(0, std::min(digits.find_first_not_of('0'), digits.size()));
    return true;
}

// A decimal number in steps of 10^-decimals of its unit times 10^exponent: its digits, and the
// power of ten the last one stands for; nothing when the text is not such a number.
struct Scaled
{
    std::string digits; // no leading zeros; empty for zero
    int64_t shift = 0;  // the value is digits * 10^shift steps
};

std::optional<Scaled> scaled(std::string_view text, int decimals, int exponent)
{
    Scaled number;
    int fractionSize = 0;
    if (!splitDecimal(text, number.digits, fractionSize))
        return std::nullopt;
    number.shift = int64_t{decimals} + exponent - fractionSize;
    return number;
}

// Whole steps, one more where the dropped digits round up: too large beyond the digits an int64_t
// holds or beyond limit.
Fixed wholeSteps(std::string_view digits, int64_t limit, bool roundUp = false)
{
    if (digits.size() > static_cast<std::size_t>(kMaxDigits))
        return {FixedError::TooLarge, 0};
    const int64_t value =
        (digits.empty() ? 0 : std::stoll(std::string(digits))) + (roundUp ? 1 : 0);
    return value > limit ? Fixed{FixedError::TooLarge, 0} : Fixed{FixedError::None, value};
}

// Whole steps from digits that stand for digits * 10^shift, shift >= 0.
Fixed wholeSteps(const Scaled &number, int64_t limit)
{
    if (static_cast<int64_t>(number.digits.size()) + number.shift > kMaxDigits)
        return {FixedError::TooLarge, 0};
    return wholeSteps(number.digits + std::string(static_cast<std::size_t>(number.shift), '0'),
                      limit);
}

} // namespace

Fixed roundFixed(std::string_view text, int decimals, int exponent, int64_t limit)
{
    const auto number = scaled(text, decimals, exponent);
    if (!number)
        return {FixedError::NotANumber, 0};
    if (number->digits.empty())
        return {FixedError::None, 0};
    if (number->shift >= 0)
        return wholeSteps(*number, limit);
    const std::string_view digits = number->digits;
    const auto dropped = static_cast<uint64_t>(-number->shift);
    if (dropped > digits.size())
        return {FixedError::None, 0}; // below a tenth of a step
    const std::size_t kept = digits.size() - static_cast<std::size_t>(dropped);
    const std::string_view whole = digits.substr(0, kept);
    if (whole.size() > static_cast<std::size_t>(kMaxDigits))
        return {FixedError::TooLarge, 0};
    // A half rounds to the even step.
    const bool odd = !whole.empty() && (whole.back() - '0') % 2 == 1;
    const char first = digits[kept];
    const bool beyondHalf = digits.find_first_not_of('0', kept + 1) != std::string_view::npos;
    return wholeSteps(whole, limit, first > '5' || (first == '5' && (beyondHalf || odd)));
}

Fixed roundSetpoint(const ModeInfo &mode, std::string_view text, int exponent)
{
    return roundFixed(text, mode.decimals, exponent, mode.rangeTop);
}

Fixed parseFixed(std::string_view text, int decimals, int exponent, int64_t limit)
{
    const auto number = scaled(text, decimals, exponent);
    if (!number)
        return {FixedError::NotANumber, 0};
    if (number->digits.empty())
        return {FixedError::None, 0};
    if (number->shift >= 0)
        return wholeSteps(*number, limit);
    // Only zeros may be dropped: a finer value is refused, not rounded.
    const std::string_view digits = number->digits;
    const auto dropped = static_cast<std::size_t>(-number->shift);
    if (dropped >= digits.size() ||
        digits.find_first_not_of('0', digits.size() - dropped) != std::string_view::npos)
        return {FixedError::TooFine, 0};
    return wholeSteps(digits.substr(0, digits.size() - dropped), limit);
}

ParsedSetpoint parseSetpoint(int16_t mode, std::string_view text)
{
    const ModeInfo *info = modeInfo(mode);
    if (!info)
        return {std::nullopt, "no such mode"};
    const std::string name = info->name;
    const std::string unit = info->unitText;
    const std::string range = "0 to " + fixedText(info->rangeTop, info->decimals) + " " + unit;
    const std::string example = fixedText(info->rangeTop / 2, info->decimals);
    if (text.empty())
        return {std::nullopt, "missing " + name + " setpoint: give " + info->quantity + " from " +
                                  range + ", e.g. " + example};
    if (text.size() > kMaxText)
        return {std::nullopt, quotedWord(text) + " is too long for a " + name + " setpoint (" +
                                  std::to_string(text.size()) + " characters)"};

    std::size_t end = 0;
    while (end < text.size() && (isDigit(text[end]) || text[end] == '.'))
        ++end;
    const std::string_view number = text.substr(0, end);
    const std::string_view suffix = text.substr(end);
    int exponent = 0;
    bool knownUnit = suffix.empty();
    for (const UnitSuffix &candidate : info->suffixes) {
        if (candidate.text[0] != '\0' && suffix == candidate.text) {
            exponent = candidate.exponent;
            knownUnit = true;
        }
    }
    const std::string notNumber = quotedWord(text) + " is not a " + name + " setpoint: give " +
                                  info->quantity + " as digits with '.' as the decimal point, " +
                                  "e.g. " + example + " or " + example + unit;
    if (number.empty())
        return {std::nullopt, notNumber};
    if (!knownUnit) {
        const char c = suffix.front();
        const bool looksLikeUnit = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                                   static_cast<unsigned char>(c) >= 0x80;
        if (!looksLikeUnit || c == 'e' || c == 'E')
            return {std::nullopt, notNumber};
        return {std::nullopt, quotedWord(text) + " has the unit " + quotedWord(suffix) + "; a " +
                                  name + " setpoint takes " + allowedUnits(*info) + " or no unit"};
    }

    const Fixed fixed = parseFixed(number, info->decimals, exponent, info->rangeTop);
    switch (fixed.error) {
    case FixedError::None:
        return {static_cast<int32_t>(fixed.value), {}};
    case FixedError::NotANumber:
        return {std::nullopt, notNumber};
    case FixedError::TooFine:
        return {std::nullopt, quotedWord(text) + " is finer than the " + name + " step: " + name +
                                  " takes whole " + fixedText(1, info->decimals) + " " + unit +
                                  " steps"};
    case FixedError::TooLarge:
        break;
    }
    return {std::nullopt, quotedWord(text) + " is out of range: " + name + " takes " + range};
}

std::optional<std::string> roundingNotice(int16_t mode, int32_t value)
{
    const ModeInfo *info = modeInfo(mode);
    if (!info || info->highFrameCode == 0 || value <= info->lowRangeTop || value % 10 == 0)
        return std::nullopt;
    return fixedText(value, info->decimals) + " " + info->unitText + " goes out as " +
           fixedText(currentFrameValue(value).value, info->decimals - 1) + " " + info->unitText +
           ": above " + fixedText(info->lowRangeTop / pow10(info->decimals), 0) + " " +
           info->unitText + " the load takes " + fixedText(1, info->decimals - 1) + " " +
           info->unitText + " steps";
}

} // namespace rz417
