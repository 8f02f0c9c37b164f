#include "link/CommErrorText.h"

#include "protocol/HexText.h"

#include <array>
#include <utility>

namespace rz417 {

namespace {

constexpr std::array<std::pair<int16_t, const char *>, 8> kOpenErrors{{
    {-1, "Invalid or Unsupported ID"},
    {-2, "Device already open"},
    {-3, "Device not Open"},
    {-4, "Unable to allocate queues"},
    {-5, "Error in default parameters"},
    {-10, "Hardware not present"},
    {-11, "Illegal byte size"},
    {-12, "Unsupported baudrate"},
}};

// Tested in this order; a later flag's text replaces an earlier one's.
constexpr std::array<std::pair<uint16_t, const char *>, 14> kFlagErrors{{
    {0x0001, "Receive queue overflow"},
    {0x0002, "Receive overrun error"},
    {0x0004, "Receive parity error"},
    {0x0008, "Receive framing error"},
    {0x0010, "Break detected"},
    {0x0020, "CTS timeout"},
    {0x0040, "DSR timeout"},
    {0x0080, "RLSD timeout"},
    {0x0100, "Tx queue is full"},
    {0x0200, "LPTx timeout"},
    {0x0400, "LPTx I/O error"},
    {0x0800, "LPTx device not selected"},
    {0x1000, "LPTx out of paper"},
    {0x8000, "Requested mode unsupported"},
}};

} // namespace

std::string commErrorText(int16_t code)
{
    for (const auto &[openCode, text] : kOpenErrors) {
        if (code == openCode)
            return text;
    }

    const auto word = static_cast<uint16_t>(code);
    // A non-negative number is written with a leading blank where the sign would stand.
    std::string message = "Unlist error :";
    message += code < 0 ? "-" : " ";
    message += std::to_string(code < 0 ? -static_cast<int32_t>(code) : static_cast<int32_t>(code));
    message += " (&H" + hexDigits(word) + ")";

    for (const auto &[flag, text] : kFlagErrors) {
        if ((word & flag) != 0)
            message = text;
    }
    return message;
}

std::string commFailureText(const CommError &error)
{
    const std::string text = commErrorText(error.code());
    if (!error.refusal().empty())
        return text + ": " + error.refusal();
    return text + " (" + error.what() + ")";
}

} // namespace rz417
