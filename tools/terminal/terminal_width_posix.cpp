#include <sys/ioctl.h>
#include <unistd.h>

#include "tools/terminal/terminal_width.h"

namespace {
constexpr std::size_t kUsualColumns = 80;
}  // namespace

std::optional<std::size_t> TerminalColumns(StandardStream stream) {
  const int fd = stream == StandardStream::Output ? STDOUT_FILENO : STDERR_FILENO;
  if (!isatty(fd)) return std::nullopt;
  winsize size{};
  if (ioctl(fd, TIOCGWINSZ, &size) != 0 || size.ws_col == 0) return kUsualColumns;
  return size.ws_col;
}
