#pragma once

#include <string>
#include <vector>

namespace rz417::cli {

// The command line's words after the program's name, in UTF-8 on every system (on Windows from
// the wide command line, so that a folder named Meßplätze comes through whole).
std::vector<std::string> commandLineWords(int argc, char *argv[]);

// Makes the console show the program's UTF-8 output as such (Windows); nothing elsewhere.
void useUtf8Console();

} // namespace rz417::cli
