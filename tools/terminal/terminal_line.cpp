#include "tools/terminal/terminal_line.h"

#include <string>

#include "tools/terminal/utf8_cut.h"

TerminalLine::TerminalLine(std::ostream& out, std::optional<std::size_t> columns)
    : out_(out), columns_(columns) {}

TerminalLine::~TerminalLine() { Clear(); }

std::size_t TerminalLine::Width() const { return columns_ && *columns_ > 0 ? *columns_ - 1 : 0; }

void TerminalLine::Show(std::string_view text) {
  if (!columns_) return;
  const std::string_view fitted = Utf8Head(text, Width());
  const std::size_t blanks = shown_ > fitted.size() ? shown_ - fitted.size() : 0;
  out_ << '\r' << fitted << std::string(blanks, ' ') << std::flush;
  shown_ = fitted.size();
}

void TerminalLine::Clear() {
  if (shown_ == 0) return;
  out_ << '\r' << std::string(shown_, ' ') << '\r' << std::flush;
  shown_ = 0;
}

void TerminalLine::Keep() {
  if (shown_ == 0) return;
  out_ << '\n' << std::flush;
  shown_ = 0;
}
