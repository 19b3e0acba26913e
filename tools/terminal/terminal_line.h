#pragma once

#include <cstddef>
#include <optional>
#include <ostream>
#include <string_view>

// One line on a terminal that each Show overwrites, such as a progress line. The line before
// is written over with "\r" and blanks, since not every console knows ESC [ K. Nothing is
// shown when there is no terminal.
class TerminalLine {
 public:
  // `columns`: of the terminal that `out` is; none when `out` is not a terminal.
  TerminalLine(std::ostream& out, std::optional<std::size_t> columns);
  ~TerminalLine();  // clears the line
  TerminalLine(const TerminalLine&) = delete;
  TerminalLine& operator=(const TerminalLine&) = delete;

  bool OnTerminal() const { return columns_.has_value(); }
  // The bytes a line may take: one less than the columns, since a line as wide as the
  // terminal wraps, and "\r" would no longer reach its start. Printable UTF-8 never fills
  // more columns than it has bytes.
  std::size_t Width() const;

  // `text` in place of the line before, its end cut to the width but never inside a UTF-8
  // sequence. `text` is printed as it is: make text from elsewhere printable first.
  void Show(std::string_view text);
  // The line blanked and the cursor at its start, for other output to take its place.
  void Clear();
  // The line left on the screen; what follows begins below it.
  void Keep();

 private:
  std::ostream& out_;
  std::optional<std::size_t> columns_;
  std::size_t shown_ = 0;  // bytes of the line now on the screen
};
