#include "tools/publish/progress_line.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include "tools/publish/release_names.h"

namespace {

constexpr const char* kBackToStart = "\r\x1b[K";  // to the line's start, then clear it
constexpr std::size_t kUsualWidth = 80;

// A line longer than the terminal wraps, and "\r" would no longer return to its start. A
// UTF-8 sequence is not cut in two.
std::string FittedTo(std::string line, std::size_t width) {
  if (line.size() < width) return line;
  std::size_t cut = width - 1;
  while (cut > 0 && (static_cast<unsigned char>(line[cut]) & 0xc0) == 0x80) --cut;
  line.resize(cut);
  return line;
}

}  // namespace

ProgressLine::ProgressLine(std::ostream& terminal, std::optional<std::size_t> width)
    : terminal_(terminal), width_(width) {}

ProgressLine::~ProgressLine() {
  if (shown_) terminal_ << kBackToStart << std::flush;
}

void ProgressLine::Show(std::size_t done, std::size_t count, const std::string& key) {
  if (!width_) return;
  std::string line =
      "[" + std::to_string(done) + "/" + std::to_string(count) + "] " + ShownName(key);
  terminal_ << kBackToStart << FittedTo(std::move(line), *width_) << std::flush;
  shown_ = true;
}

std::optional<std::size_t> StderrTerminalWidth() {
  if (!isatty(STDERR_FILENO)) return std::nullopt;
  winsize size{};
  if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) != 0 || size.ws_col == 0) return kUsualWidth;
  return size.ws_col;
}
