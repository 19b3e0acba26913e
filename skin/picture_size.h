#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

// The size a picture file declares in its header, read before any decoder sees the file: some
// decoders make room for the whole declared size first, whatever the file holds.
struct PictureSize {
  std::int64_t width;
  std::int64_t height;
};

// How many bytes of the file's start DeclaredPictureSize needs.
constexpr std::size_t kPictureHeadBytes = 26;

// The width and height from the header of a BMP (core or info header; a negative height is a
// top-down picture) or a PNG (IHDR); none for other formats or a header cut short.
std::optional<PictureSize> DeclaredPictureSize(std::string_view head);
