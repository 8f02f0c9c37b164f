#pragma once

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace rz417::cli {

// The command line's words after the program's name, in UTF-8 on every system (on Windows from
// the wide command line, so that a folder named Meßplätze comes through whole).
std::vector<std::string> commandLineWords(int argc, char *argv[]);

// Makes the console show the program's UTF-8 output as such and take the terminal's escape
// sequences (Windows); nothing elsewhere.
void useUtf8Console();

// Whether the stream is a terminal (a console window on Windows), and its width in columns
// (0 when not known).
bool isTerminal(std::FILE *stream);
int terminalColumns(std::FILE *stream);

// Writes the text to the stream's descriptor itself, past its stdio buffer and lock, waiting as
// long as the terminal or pipe makes it; false when it failed (the reader went away).
bool writeWhole(std::FILE *stream, std::string_view text);

} // namespace rz417::cli
