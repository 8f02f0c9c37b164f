#include "LineCheck.h"

namespace rz417::sim {

namespace {

struct SpeedEntry
{
    speed_t code;
    long baud;
};

const SpeedEntry kSpeeds[] = {
    {B50, 50},       {B75, 75},         {B110, 110},       {B134, 134},       {B150, 150},
    {B200, 200},     {B300, 300},       {B600, 600},       {B1200, 1200},     {B1800, 1800},
    {B2400, 2400},   {B4800, 4800},     {B9600, 9600},     {B19200, 19200},   {B38400, 38400},
    {B57600, 57600}, {B115200, 115200}, {B230400, 230400}, {B460800, 460800}, {B921600, 921600},
};

constexpr long kExpectedBaud = 115200;

} // namespace

LineSettings lineSettings(const termios &attributes)
{
    LineSettings settings;
    // Linux keeps one speed for both directions in c_cflag.
    const speed_t speed = cfgetospeed(&attributes);
    for (const SpeedEntry &entry : kSpeeds) {
        if (entry.code == speed)
            settings.baud = entry.baud;
    }

    switch (attributes.c_cflag & CSIZE) {
    case CS5:
        settings.dataBits = 5;
        break;
    case CS6:
        settings.dataBits = 6;
        break;
    case CS7:
        settings.dataBits = 7;
        break;
    default:
        settings.dataBits = 8;
        break;
    }

    if ((attributes.c_cflag & PARENB) == 0) {
        settings.parity = 'N';
    } else {
        const bool odd = (attributes.c_cflag & PARODD) != 0;
#ifdef CMSPAR
        if ((attributes.c_cflag & CMSPAR) != 0)
            settings.parity = odd ? 'M' : 'S';
        else
#endif
            settings.parity = odd ? 'O' : 'E';
    }
    settings.stopBits = (attributes.c_cflag & CSTOPB) != 0 ? 2 : 1;
    return settings;
}

std::string describe(const LineSettings &settings)
{
    const std::string baud =
        settings.baud > 0 ? std::to_string(settings.baud) + " baud" : "non-standard baud";
    return baud + " " + std::to_string(settings.dataBits) + settings.parity +
           std::to_string(settings.stopBits);
}

std::optional<std::string> lineProblem(const LineSettings &settings)
{
    const LineSettings expected{kExpectedBaud, 8, 'N', 1};
    if (settings == expected)
        return std::nullopt;
    return "line settings " + describe(settings) + ", but the RZ-417 listens at " +
           describe(expected) + "; it would not understand these frames";
}

} // namespace rz417::sim
