#include "tools/cli/console.h"

#include <string_view>

#include "tools/cli/progress_format.h"
#include "tools/terminal/printable_text.h"

namespace {

ProgressView Printable(ProgressView view) {
  view.stage = PrintableText(view.stage);
  view.item = PrintableText(view.item);
  return view;
}

}  // namespace

Console::Console(std::ostream& out, std::ostream& err, std::optional<std::size_t> columns)
    : out_(out), err_(err), line_(out, columns) {}

void Console::Look(const PatchSnapshot& seen, ProgressLog::Clock::time_point now) {
  std::lock_guard<std::mutex> hold(mutex_);
  LookLocked(seen, now);
}

void Console::EndRun(const PatchSnapshot& last, ProgressLog::Clock::time_point now) {
  std::lock_guard<std::mutex> hold(mutex_);
  LookLocked(last, now);
  if (line_.OnTerminal()) {
    line_.Keep();  // the last state stays on the screen
  } else {
    for (const std::string& line : log_.End()) out_ << line << '\n';
  }
  out_.flush();
  viewer_ = ProgressViewer();
  log_ = ProgressLog();
}

void Console::Tell(const std::string& text) {
  std::lock_guard<std::mutex> hold(mutex_);
  line_.Clear();
  // A box's text may have lines of its own; every other control is escaped.
  const std::string_view lines = text;
  for (std::size_t start = 0;;) {
    const std::size_t end = lines.find('\n', start);
    err_ << PrintableText(lines.substr(start, end - start)) << '\n';
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  err_.flush();
}

void Console::BeginQuestion(const std::string& prompt) {
  std::lock_guard<std::mutex> hold(mutex_);
  line_.Clear();
  err_ << PrintableText(prompt) << std::flush;
  asking_ = true;
}

void Console::EndQuestion() {
  std::lock_guard<std::mutex> hold(mutex_);
  asking_ = false;
}

void Console::LookLocked(const PatchSnapshot& seen, ProgressLog::Clock::time_point now) {
  // Made printable before the line is fitted, so that the escapes count in its width.
  const ProgressView view = Printable(viewer_.View(seen, now));
  if (!line_.OnTerminal()) {
    for (const std::string& line : log_.Look(view, now)) out_ << line << '\n';
    out_.flush();
    return;
  }
  if (asking_ || view.stage.empty()) return;
  line_.Show(ProgressLineText(view, line_.Width()));
}
