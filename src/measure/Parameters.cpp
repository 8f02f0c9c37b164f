#include "measure/Parameters.h"

namespace rz417::measure {

std::string displayLabel(const char *label)
{
    std::string shown;
    for (const char *c = label; *c; ++c) {
        // "&&" is a '&' shown; a lone '&' marks the mnemonic.
        if (*c != '&' || c[1] == '&')
            shown += *c;
    }
    return shown;
}

std::string namedRefusal(const std::string &name, const std::string &why)
{
    if (why.rfind("{}", 0) == 0)
        return name + why.substr(2);
    return name.empty() ? why : name + ": " + why;
}

std::string takeFlag(const std::string &text, bool &into)
{
    if (text != kYes && text != kNo)
        return "{} is yes or no, not '" + text + "'";
    into = text == kYes;
    return {};
}

std::string missing(const char *option, const char *label, Naming naming, const std::string &why)
{
    return (naming == Naming::Option ? std::string(option) : displayLabel(label)) +
           " is needed: " + why;
}

} // namespace rz417::measure
