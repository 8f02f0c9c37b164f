#include "FrameDecoder.h"

#include "protocol/Frame.h"
#include "protocol/HexText.h"
#include "protocol/Modes.h"

#include <array>

namespace rz417::sim {

namespace {

// The commands in the order of their codes, from the modes' table and the input command.
const std::array<CommandInfo, 6> &commandTable()
{
    static const std::array<CommandInfo, 6> table = [] {
        const ModeInfo &cv = *modeInfo(ModeCodes::CV);
        const ModeInfo &cc = *modeInfo(ModeCodes::CC);
        const ModeInfo &cp = *modeInfo(ModeCodes::CP);
        const ModeInfo &cr = *modeInfo(ModeCodes::CR);
        return std::array<CommandInfo, 6>{{
            {Command::CvSetpoint, cv.frameCode, cv.name, cv.decimals, cv.unitText},
            {Command::CcHighSetpoint, cc.highFrameCode, cc.name, cc.decimals - 1, cc.unitText},
            {Command::CpSetpoint, cp.frameCode, cp.name, cp.decimals, cp.unitText},
            {Command::CrSetpoint, cr.frameCode, cr.name, cr.decimals, cr.unitText},
            {Command::Input, kInputFrameCode, "INPUT", 0, ""},
            {Command::CcLowSetpoint, cc.frameCode, cc.name, cc.decimals, cc.unitText},
        }};
    }();
    return table;
}

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

int hexValue(char c)
{
    return c <= '9' ? c - '0' : c - 'A' + 10;
}

// A frame can start only where a command code starts: at the code's first digit followed by
// its second, or at such a first digit that is the last byte received so far.
bool canStartFrame(const std::string &s, std::size_t i)
{
    if (!isUpperHex(s[i]))
        return false;
    for (const CommandInfo &info : commandTable()) {
        if (hexValue(s[i]) != info.code >> 4)
            continue;
        if (i + 1 == s.size() || (isUpperHex(s[i + 1]) && hexValue(s[i + 1]) == (info.code & 0xF)))
            return true;
    }
    return false;
}

std::size_t nextStart(const std::string &s, std::size_t from)
{
    for (std::size_t i = from; i < s.size(); ++i) {
        if (canStartFrame(s, i))
            return i;
    }
    return std::string::npos;
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
    if (!canStartFrame(run.substr(0, 2), 0)) {
        if (run.size() == 1)
            return "no command code starts with " + printable(run[0]);
        return "unknown command code " + run.substr(0, 2);
    }
    if (run.size() < FrameDecoder::kFrameLength)
        return "incomplete frame";
    return "input command value must be 00FF or FFFF";
}

} // namespace

const CommandInfo &commandInfo(Command command)
{
    for (const CommandInfo &info : commandTable()) {
        if (info.command == command)
            return info;
    }
    return commandTable().front();
}

const CommandInfo *commandByCode(int code)
{
    for (const CommandInfo &info : commandTable()) {
        if (info.code == code)
            return &info;
    }
    return nullptr;
}

std::string commandCode(Command command)
{
    return hexDigits(static_cast<uint16_t>(commandInfo(command).code));
}

const char *commandName(Command command)
{
    return commandInfo(command).name;
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
    const CommandInfo *info = commandByCode(hexValue(text[0]) * 16 + hexValue(text[1]));
    if (!info)
        return takeBad(kFrameLength, describe(text));
    if (info->command == Command::Input && value != kInputOnValue && value != kInputOffValue) {
        // A '6' here may as well be a stray byte before a frame: look for the next start
        // from the second byte on, which keeps "66204D2" from losing its CV frame.
        return badRunUpTo(1);
    }
    frame.command = info->command;
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
