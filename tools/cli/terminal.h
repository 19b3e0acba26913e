#pragma once

#include <cstddef>
#include <optional>
#include <string>

// The console that veldra-cli runs in, one source per platform.

// The columns of the terminal that standard output is; none when it is not a terminal.
std::optional<std::size_t> StdoutTerminalColumns();

bool StdinIsTerminal();

// One line typed on standard input, without its line break; none at the end of the input or
// once Ctrl-C was pressed, so a question never holds up a stop.
std::optional<std::string> ReadAnswerLine();
