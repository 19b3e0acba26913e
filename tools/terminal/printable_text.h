#pragma once

#include <string>
#include <string_view>

// `text` safe to print on a terminal: C0 controls, DEL, the C1 controls (U+0080..U+009F) and
// every byte that is no part of a well-formed UTF-8 sequence become \xNN, byte by byte, so
// that text from a server can neither move the cursor nor send the terminal a command.
// Printable UTF-8 stays as it is. A backslash stays too: it separates the folders of every key
// shown, and the escapes keep the terminal safe rather than being read back.
std::string PrintableText(std::string_view text);
