#include "FrameDecoder.h"

namespace rz417::sim {

namespace {

bool isUpperHex(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
}

bool isLowerHex(char c)
{
    return c >= 'a' && c <= 'f';
}

bool isHex(char c)
{
    return isUpperHex(c) || isLowerHex(c);
}

// Every command code is 62 to 67, so a frame can start only at a '6' followed by '2' to '7',
// or at a '6' that is the last byte received so far.
bool canStartFrame(const std::string &s, std::size_t i)
{
    if (s[i] != '6')
        return false;
    return i + 1 == s.size() || (s[i + 1] >= '2' && s[i + 1] <= '7');
}

std::size_t nextStart(const std::string &s, std::size_t from)
{
    for (std::size_t i = from; i < s.size(); ++i) {
        if (canStartFrame(s, i))
            return i;
    }
    return std::string::npos;
}

int hexValue(char c)
{
    return c <= '9' ? c - '0' : c - 'A' + 10;
}

std::string printable(char c)
{
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte < 0x7F)
        return std::string("'") + c + "'";
    static const char digits[] = "0123456789ABCDEF";
    return std::string("byte 0x") + digits[byte >> 4] + digits[byte & 0xF];
}

// The first thing wrong with a run of bytes that did not make a frame.
std::string describe(const std::string &run)
{
    for (const char c : run) {
        if (!isHex(c))
            return "not a hexadecimal digit: " + printable(c);
    }
    for (const char c : run) {
        if (isLowerHex(c))
            return "lower-case hexadecimal digit: " + printable(c);
    }
    if (run[0] != '6' || (run.size() > 1 && (run[1] < '2' || run[1] > '7'))) {
        if (run.size() == 1)
            return "no command code starts with " + printable(run[0]);
        return "unknown command code " + run.substr(0, 2);
    }
    if (run.size() < FrameDecoder::kFrameLength)
        return "incomplete frame";
    return "input command value must be 00FF or FFFF";
}

} // namespace

const char *commandCode(Command command)
{
    switch (command) {
    case Command::CvSetpoint:
        return "62";
    case Command::CcHighSetpoint:
        return "63";
    case Command::CpSetpoint:
        return "64";
    case Command::CrSetpoint:
        return "65";
    case Command::Input:
        return "66";
    case Command::CcLowSetpoint:
        return "67";
    }
    return "";
}

const char *commandName(Command command)
{
    switch (command) {
    case Command::CvSetpoint:
        return "CV";
    case Command::CcHighSetpoint:
    case Command::CcLowSetpoint:
        return "CC";
    case Command::CpSetpoint:
        return "CP";
    case Command::CrSetpoint:
        return "CR";
    case Command::Input:
        return "INPUT";
    }
    return "";
}

std::vector<Frame> FrameDecoder::feed(std::string_view bytes, Clock::time_point now)
{
    std::vector<Frame> frames;
    // The main loop may not have looked in time; a pause is a pause however late it is seen.
    if (auto stale = expire(now))
        frames.push_back(std::move(*stale));
    if (bytes.empty())
        return frames;
    m_pending.append(bytes);
    m_lastByteAt = now;
    while (auto frame = takeOne())
        frames.push_back(std::move(*frame));
    return frames;
}

std::optional<Frame> FrameDecoder::expire(Clock::time_point now)
{
    if (m_pending.empty() || now - m_lastByteAt <= kPartialTimeout)
        return std::nullopt;
    return flush();
}

std::optional<FrameDecoder::Clock::time_point> FrameDecoder::deadline() const
{
    if (m_pending.empty())
        return std::nullopt;
    return m_lastByteAt + kPartialTimeout;
}

std::optional<Frame> FrameDecoder::flush()
{
    if (m_pending.empty())
        return std::nullopt;
    return takeBad(m_pending.size(), describe(m_pending));
}

std::optional<Frame> FrameDecoder::takeOne()
{
    const std::size_t size = m_pending.size();
    if (size == 0)
        return std::nullopt;

    // Where the bad run that starts at the front ends: at the next place a frame can start, or
    // at what has arrived once that is a frame's length. Until then more bytes may belong to it.
    auto badRunUpTo = [&](std::size_t searchFrom) -> std::optional<Frame> {
        const std::size_t next = nextStart(m_pending, searchFrom);
        if (next != std::string::npos)
            return takeBad(next, describe(m_pending.substr(0, next)));
        if (size >= kFrameLength)
            return takeBad(size, describe(m_pending));
        return std::nullopt;
    };

    if (!canStartFrame(m_pending, 0))
        return badRunUpTo(1);

    const std::size_t seen = std::min(size, kFrameLength);
    for (std::size_t i = 0; i < seen; ++i) {
        if (!isHex(m_pending[i]))
            return badRunUpTo(i + 1);
    }
    if (size < kFrameLength)
        return std::nullopt;

    // Six hexadecimal digits keep the frame boundary even when the frame itself is bad.
    const std::string text = m_pending.substr(0, kFrameLength);
    for (const char c : text) {
        if (!isUpperHex(c))
            return takeBad(kFrameLength, describe(text));
    }
    uint16_t value = 0;
    for (std::size_t i = 2; i < kFrameLength; ++i)
        value = static_cast<uint16_t>(value * 16 + hexValue(text[i]));

    Frame frame;
    switch (text[1]) {
    case '2':
        frame.command = Command::CvSetpoint;
        break;
    case '3':
        frame.command = Command::CcHighSetpoint;
        break;
    case '4':
        frame.command = Command::CpSetpoint;
        break;
    case '5':
        frame.command = Command::CrSetpoint;
        break;
    case '6':
        // A '6' here may as well be a stray byte before a frame: look for the next start
        // from the second byte on, which keeps "66204D2" from losing its CV frame.
        if (value != 0x00FF && value != 0xFFFF)
            return badRunUpTo(1);
        frame.command = Command::Input;
        break;
    default:
        frame.command = Command::CcLowSetpoint;
        break;
    }
    frame.bytes = text;
    frame.valid = true;
    frame.value = value;
    m_pending.erase(0, kFrameLength);
    return frame;
}

Frame FrameDecoder::takeBad(std::size_t length, std::string error)
{
    Frame frame;
    frame.bytes = m_pending.substr(0, length);
    frame.error = std::move(error);
    m_pending.erase(0, length);
    return frame;
}

} // namespace rz417::sim
