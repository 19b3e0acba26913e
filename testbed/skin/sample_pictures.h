#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Skin pictures made in code, for the tests and the demo's sample skin: no picture of unknown
// origin enters the repository.
namespace sample_pictures {

struct Rgba {
  std::uint8_t red = 0;
  std::uint8_t green = 0;
  std::uint8_t blue = 0;
  std::uint8_t alpha = 255;

  bool operator==(const Rgba&) const = default;
};

class Picture {
 public:
  Picture(int width, int height, Rgba fill);

  int width() const { return width_; }
  int height() const { return height_; }
  Rgba& at(int x, int y) { return pixels_[Index(x, y)]; }
  const Rgba& at(int x, int y) const { return pixels_[Index(x, y)]; }
  // Every pixel with left <= x < right and top <= y < bottom, clipped to the picture.
  void Fill(int left, int top, int right, int bottom, Rgba colour);

 private:
  std::size_t Index(int x, int y) const { return static_cast<std::size_t>(y) * width_ + x; }

  int width_;
  int height_;
  std::vector<Rgba> pixels_;
};

enum class Format {
  Bmp24,  // alpha is dropped
  Bmp8,   // indexed: a palette of the picture's colours (at most 256), alpha dropped
  Png32,  // RGBA, straight alpha
};

// The file's bytes; empty when a Bmp8 picture has more than 256 colours.
std::string Encode(const Picture& picture, Format format);

bool Write(const std::string& path, const Picture& picture, Format format);

// One PNG chunk with its length and CRC, for tests that make broken files.
std::string PngChunk(std::string_view type, std::string_view data);

}  // namespace sample_pictures
