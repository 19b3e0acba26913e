#pragma once

#include <chrono>
#include <cstddef>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>

#include "engine/patch_job.h"
#include "engine/progress_view.h"
#include "tools/cli/progress_log.h"
#include "tools/terminal/terminal_line.h"

// Everything veldra-cli writes: the progress on `out`, boxes, questions and its own lines on
// `err`. The worker thread's boxes and the main thread's progress meet here, so every member
// takes the one lock. Names and reasons come from the patch server, so every text is made
// printable here before it reaches the terminal.
class Console {
 public:
  // `columns`: the width of the terminal that `out` is; none when `out` is not a terminal,
  // and the progress is a log.
  Console(std::ostream& out, std::ostream& err, std::optional<std::size_t> columns);

  void Look(const PatchSnapshot& seen, ProgressLog::Clock::time_point now);
  // The run's last look; the next run's progress starts afresh.
  void EndRun(const PatchSnapshot& last, ProgressLog::Clock::time_point now);

  // A line on `err`, the progress line cleared out of its way; a line break in `text` begins
  // a line of its own.
  void Tell(const std::string& text);
  // A question's prompt on `err`, without a line break; no progress is drawn over the
  // answer being typed until EndQuestion.
  void BeginQuestion(const std::string& prompt);
  void EndQuestion();

 private:
  void LookLocked(const PatchSnapshot& seen, ProgressLog::Clock::time_point now);

  std::mutex mutex_;
  std::ostream& out_;
  std::ostream& err_;
  TerminalLine line_;  // the progress when `out` is a terminal
  ProgressViewer viewer_;
  ProgressLog log_;  // the progress when it is not
  bool asking_ = false;
};
