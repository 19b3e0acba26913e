#include <windows.h>

#include <iostream>

#include "tools/cli/terminal.h"

namespace {
constexpr std::size_t kUsualColumns = 80;

bool IsConsole(DWORD which) {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(which), &mode) != 0;
}
}  // namespace

std::optional<std::size_t> StdoutTerminalColumns() {
  if (!IsConsole(STD_OUTPUT_HANDLE)) return std::nullopt;
  CONSOLE_SCREEN_BUFFER_INFO info{};
  if (!GetConsoleScreenBufferInfo(GetStdHandle(STD_OUTPUT_HANDLE), &info)) return kUsualColumns;
  return static_cast<std::size_t>(info.srWindow.Right - info.srWindow.Left + 1);
}

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
