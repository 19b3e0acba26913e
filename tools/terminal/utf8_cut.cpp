#include "tools/terminal/utf8_cut.h"

namespace {

bool IsContinuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

}  // namespace

std::string_view Utf8Head(std::string_view text, std::size_t bytes) {
  if (text.size() <= bytes) return text;
  std::size_t cut = bytes;
  while (cut > 0 && IsContinuation(text[cut])) --cut;
  return text.substr(0, cut);
}

std::string_view Utf8Tail(std::string_view text, std::size_t bytes) {
  if (text.size() <= bytes) return text;
  std::size_t start = text.size() - bytes;
  while (start < text.size() && IsContinuation(text[start])) ++start;
  return text.substr(start);
}
