#include "tools/terminal/printable_text.h"

#include <cstddef>
#include <cstdio>

namespace {

unsigned char ByteAt(std::string_view text, std::size_t at) {
  return static_cast<unsigned char>(text[at]);
}

bool IsContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

// The length of the well-formed UTF-8 sequence that `text` begins with; 0 when it begins with
// none. The second byte's range shuts out overlong forms, surrogates and code points past
// U+10FFFF.
std::size_t SequenceLength(std::string_view text) {
  const unsigned char lead = ByteAt(text, 0);
  if (lead < 0x80) return 1;
  std::size_t length = 0;
  unsigned char secondLow = 0x80;
  unsigned char secondHigh = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) secondLow = 0xA0;
    if (lead == 0xED) secondHigh = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) secondLow = 0x90;
    if (lead == 0xF4) secondHigh = 0x8F;
  } else {
    return 0;
  }
  if (text.size() < length) return 0;
  const unsigned char second = ByteAt(text, 1);
  if (second < secondLow || second > secondHigh) return 0;
  for (std::size_t at = 2; at < length; ++at) {
    if (!IsContinuation(ByteAt(text, at))) return 0;
  }
  return length;
}

bool IsControl(std::string_view sequence) {
  const unsigned char lead = ByteAt(sequence, 0);
  if (sequence.size() == 1) return lead < 0x20 || lead == 0x7F;
  return lead == 0xC2 && ByteAt(sequence, 1) < 0xA0;
}

void AppendEscaped(std::string& text, unsigned char byte) {
  char escaped[5];
  std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
  text += escaped;
}

}  // namespace

std::string PrintableText(std::string_view text) {
  std::string printable;
  printable.reserve(text.size());
  for (std::size_t at = 0; at < text.size();) {
    const std::string_view rest = text.substr(at);
    const std::size_t length = SequenceLength(rest);
    if (length == 0 || IsControl(rest.substr(0, length))) {
      // Byte by byte: what follows a bad lead may still begin a sound sequence.
      AppendEscaped(printable, ByteAt(rest, 0));
      ++at;
    } else {
      printable += rest.substr(0, length);
      at += length;
    }
  }
  return printable;
}
