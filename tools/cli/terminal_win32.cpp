#include <windows.h>

#include <iostream>

#include "tools/cli/terminal.h"

namespace {
bool IsConsole(DWORD which) {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(which), &mode) != 0;
}
}  // namespace

bool StdinIsTerminal() { return IsConsole(STD_INPUT_HANDLE); }

// Ctrl-C ends a console read at once, with nothing read, so the stop is never held up here.
std::optional<std::string> ReadAnswerLine() {
  std::string line;
  if (!std::getline(std::cin, line)) {
    std::cin.clear();
    return std::nullopt;
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}
