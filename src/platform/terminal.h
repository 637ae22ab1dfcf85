// The terminal, for the command-line program: is a stream a terminal, its width, and questions
// answered on it (passwords without echo).
#pragma once

#include <optional>
#include <string>

namespace vz::platform {

bool StdinIsTerminal();
bool StderrIsTerminal();
// Columns of the terminal on standard error; 80 when unknown.
int TerminalWidth();
// Writes prompt to standard error and reads one line from standard input (without its line end);
// nothing at end of input.
std::optional<std::string> AskLine(const std::string& prompt);
// The same with echo switched off while the answer is typed.
std::optional<std::string> AskSecret(const std::string& prompt);

}  // namespace vz::platform
