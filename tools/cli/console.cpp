#include "tools/cli/console.h"

#include "tools/cli/progress_format.h"

Console::Console(std::ostream& out, std::ostream& err, std::optional<std::size_t> columns)
    : out_(out), err_(err), columns_(columns) {}

void Console::Look(const PatchSnapshot& seen, ProgressLog::Clock::time_point now) {
  std::lock_guard<std::mutex> hold(mutex_);
  LookLocked(seen, now);
}

void Console::EndRun(const PatchSnapshot& last, ProgressLog::Clock::time_point now) {
  std::lock_guard<std::mutex> hold(mutex_);
  LookLocked(last, now);
  if (columns_) {
    // The last state stays on the screen, and the next line begins below it.
    if (shownWidth_ > 0) out_ << '\n';
    shownWidth_ = 0;
  } else {
    for (const std::string& line : log_.End()) out_ << line << '\n';
  }
  out_.flush();
  viewer_ = ProgressViewer();
  log_ = ProgressLog();
}

void Console::Tell(const std::string& line) {
  std::lock_guard<std::mutex> hold(mutex_);
  ClearLineLocked();
  err_ << line << '\n' << std::flush;
}

void Console::BeginQuestion(const std::string& prompt) {
  std::lock_guard<std::mutex> hold(mutex_);
  ClearLineLocked();
  err_ << prompt << std::flush;
  asking_ = true;
}

void Console::EndQuestion() {
  std::lock_guard<std::mutex> hold(mutex_);
  asking_ = false;
}

void Console::LookLocked(const PatchSnapshot& seen, ProgressLog::Clock::time_point now) {
  const ProgressView view = viewer_.View(seen);
  if (!columns_) {
    for (const std::string& line : log_.Look(view, now)) out_ << line << '\n';
    out_.flush();
    return;
  }
  if (asking_ || view.stage.empty()) return;
  const std::string line = TerminalLine(view, *columns_ > 0 ? *columns_ - 1 : 0);
  // Blanks over what is left of a longer line before: not every console knows ESC [ K.
  const std::size_t blanks = shownWidth_ > line.size() ? shownWidth_ - line.size() : 0;
  out_ << '\r' << line << std::string(blanks, ' ') << std::flush;
  shownWidth_ = line.size() + blanks;
}

void Console::ClearLineLocked() {
  if (shownWidth_ == 0) return;
  out_ << '\r' << std::string(shownWidth_, ' ') << '\r' << std::flush;
  shownWidth_ = 0;
}
