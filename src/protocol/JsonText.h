#pragma once

#include <string>
#include <string_view>

namespace rz417 {

// How a text's bytes beyond ASCII go into JSON: as the UTF-8 they are, or each as the character
// of its value (\u00XX), for bytes that are no text (what a line carried).
enum class JsonBytes { Utf8, Latin1 };

// The text as a quoted JSON string: '"' and '\' escaped, control characters as \u00XX.
std::string jsonString(std::string_view text, JsonBytes bytes = JsonBytes::Utf8);

} // namespace rz417
