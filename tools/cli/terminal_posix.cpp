#include <poll.h>
#include <unistd.h>

#include "tools/cli/interrupt.h"
#include "tools/cli/terminal.h"

namespace {
constexpr int kInterruptCheckMs = 100;
}  // namespace

bool StdinIsTerminal() { return isatty(STDIN_FILENO) == 1; }

// Byte by byte, so nothing past the line is taken from the input.
std::optional<std::string> ReadAnswerLine() {
  std::string line;
  for (;;) {
    if (Interrupted()) return std::nullopt;
    pollfd input{STDIN_FILENO, POLLIN, 0};
    int ready = poll(&input, 1, kInterruptCheckMs);
    if (ready < 0) return std::nullopt;
    if (ready == 0) continue;
    char c = 0;
    ssize_t got = read(STDIN_FILENO, &c, 1);
    if (got <= 0) return std::nullopt;
    if (c == '\n') return line;
    line += c;
  }
}
