#include "cli/PortChoice.h"

#include "protocol/SetpointValue.h"

namespace rz417::cli {

namespace {

bool allDigits(const std::string &text)
{
    return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

} // namespace

PortChoice choosePort(const std::string &word, const PortMap &host)
{
    PortChoice choice;
    const bool comName = word.size() > 3 && (word[0] == 'C' || word[0] == 'c') &&
                         (word[1] == 'O' || word[1] == 'o') && (word[2] == 'M' || word[2] == 'm') &&
                         allDigits(word.substr(3));
    if (allDigits(word)) {
        const Fixed number = parseFixed(word, 0, 0, 255);
        if (number.error != FixedError::None || number.value < 1) {
            choice.error = quotedWord(word) + " is not a port number: ports are numbered from 1 "
                                              "('rz417ctl ports' lists them)";
            return choice;
        }
        choice.map = host;
        choice.number = static_cast<int16_t>(number.value);
        const std::string path = host.path(choice.number);
        choice.label = "port " + word + (path.empty() ? "" : " (" + path + ")");
        return choice;
    }
    if (word.find('/') != std::string::npos || comName) {
        choice.map = PortMap({word});
        choice.number = 1;
        choice.label = word;
        return choice;
    }
    choice.error = quotedWord(word) + " is not a port: give a port number ('rz417ctl ports' lists "
                                      "them) or a device path such as /dev/ttyUSB0";
    return choice;
}

} // namespace rz417::cli
