#pragma once

#include <cstddef>
#include <string_view>

// The longest start of `text` of at most `bytes` bytes that ends between UTF-8 sequences.
std::string_view Utf8Head(std::string_view text, std::size_t bytes);

// The same for the end of `text`.
std::string_view Utf8Tail(std::string_view text, std::size_t bytes);
