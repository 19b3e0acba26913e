#include <windows.h>

#include "tools/terminal/terminal_width.h"

namespace {
constexpr std::size_t kUsualColumns = 80;
}  // namespace

std::optional<std::size_t> TerminalColumns(StandardStream stream) {
  const HANDLE handle =
      GetStdHandle(stream == StandardStream::Output ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
  DWORD mode = 0;
  if (GetConsoleMode(handle, &mode) == 0) return std::nullopt;
  CONSOLE_SCREEN_BUFFER_INFO info{};
  if (!GetConsoleScreenBufferInfo(handle, &info)) return kUsualColumns;
  return static_cast<std::size_t>(info.srWindow.Right - info.srWindow.Left + 1);
}
