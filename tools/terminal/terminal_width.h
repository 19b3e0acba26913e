#pragma once

#include <cstddef>
#include <optional>

enum class StandardStream { Output, Error };

// The columns of the terminal that `stream` is, one source per platform; none when it is not
// a terminal, 80 when the terminal does not tell.
std::optional<std::size_t> TerminalColumns(StandardStream stream);
