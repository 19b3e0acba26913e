#pragma once

#include <optional>
#include <string>

// The console that veldra-cli runs in, one source per platform.

bool StdinIsTerminal();

// One line typed on standard input, without its line break; none at the end of the input or
// once Ctrl-C was pressed, so a question never holds up a stop.
std::optional<std::string> ReadAnswerLine();
