#pragma once

#include <string>

namespace rz417::windows {

// Texts inside the program are UTF-8; Windows takes and gives UTF-16.
std::wstring wide(const std::string &utf8);
std::string utf8(const std::wstring &wide);
std::string utf8(const wchar_t *wide);

// The system's text for an error code, without its trailing full stop and line end
// ("Access is denied"); "error 31" when the system has none.
std::string errorText(unsigned long code);

} // namespace rz417::windows
