// Any string given as line settings is either refused or parsed into settings that read back the
// same when written out again.
#include "link/LineSettings.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

std::string format(const rz417::LineSettings &s)
{
    static const char parity[] = {'N', 'E', 'O', 'M', 'S'};
    static const char *const stop[] = {"1", "1.5", "2"};
    return std::to_string(s.baudRate) + " " + parity[static_cast<int>(s.parity)] + " " +
           std::to_string(s.dataBits) + " " + stop[static_cast<int>(s.stopBits)];
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string text(reinterpret_cast<const char *>(data), size);
    const auto parsed = rz417::parseLineSettings(text);
    if (!parsed)
        return 0;
    const rz417::LineSettings &s = *parsed;
    if (s.baudRate <= 0 || s.dataBits < 5 || s.dataBits > 8)
        std::abort();
    const auto again = rz417::parseLineSettings(format(s));
    if (!again || !(*again == s))
        std::abort();
    return 0;
}
