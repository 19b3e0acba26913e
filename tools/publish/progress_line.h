#pragma once

#include <cstddef>
#include <optional>
#include <ostream>
#include <string>

// One line "[i/n] name" that each file overwrites, cleared when done. Shows nothing when
// there is no terminal width, that is when the output is not a terminal.
class ProgressLine {
 public:
  ProgressLine(std::ostream& terminal, std::optional<std::size_t> width);
  ~ProgressLine();
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;

  void Show(std::size_t done, std::size_t count, const std::string& key);

 private:
  std::ostream& terminal_;
  std::optional<std::size_t> width_;
  bool shown_ = false;
};

// The width of the terminal on stderr; none when stderr is not a terminal.
std::optional<std::size_t> StderrTerminalWidth();
