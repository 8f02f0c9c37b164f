#include "protocol/Modes.h"

namespace rz417 {

namespace {

// clang-format off
constexpr std::array<ModeInfo, 4> kModes{{
    {ModeCodes::CV, "CV", "V", "V", "volts", "Range : 0 to 63.00V",
     2, 6300, 6300, 0x62, 0, 0, {{{"V", 0}, {"mV", -3}, {"", 0}}}},
    {ModeCodes::CC, "CC", "A", "A", "amperes", "Range : 0 to 15.00A",
     3, 15000, 15000, 0x67, 0x63, 1000, {{{"A", 0}, {"mA", -3}, {"", 0}}}},
    {ModeCodes::CP, "CP", "W", "W", "watts", "Range : 0 to 200.0W",
     1, 2000, 2000, 0x64, 0, 0, {{{"W", 0}, {"mW", -3}, {"", 0}}}},
    {ModeCodes::CR, "CR", "\u03A9", "ohm", "ohms", "Range : 0 to 999.9\u03A9",
     1, 9999, 9999, 0x65, 0, 0, {{{"ohm", 0}, {"\u03A9", 0}, {"Ohm", 0}}}},
}};
// clang-format on

char upper(char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

} // namespace

const std::array<ModeInfo, 4> &modes()
{
    return kModes;
}

const ModeInfo *modeInfo(int16_t code)
{
    return isMode(code) ? &kModes[static_cast<std::size_t>(code - 1)] : nullptr;
}

const ModeInfo *modeByName(std::string_view name)
{
    if (name.size() != 2)
        return nullptr;
    for (const ModeInfo &mode : kModes) {
        if (upper(name[0]) == mode.name[0] && upper(name[1]) == mode.name[1])
            return &mode;
    }
    return nullptr;
}

} // namespace rz417
