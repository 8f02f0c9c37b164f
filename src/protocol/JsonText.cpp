#include "protocol/JsonText.h"

namespace rz417 {

std::string jsonString(std::string_view text, JsonBytes bytes)
{
    static const char kHex[] = "0123456789ABCDEF";
    std::string out = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if ((byte >= 0x20 && byte < 0x7F) || (byte >= 0x80 && bytes == JsonBytes::Utf8)) {
            out += c;
        } else {
            out += "\\u00";
            out += kHex[byte >> 4];
            out += kHex[byte & 0xF];
        }
    }
    return out + "\"";
}

} // namespace rz417
