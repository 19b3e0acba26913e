#include "testbed/skin/sample_pictures.h"

#include <zlib.h>

#include <algorithm>
#include <fstream>
#include <map>

namespace sample_pictures {
namespace {

void PutLittle(std::string& out, std::uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

void PutBig(std::string& out, std::uint32_t value) {
  for (int i = 3; i >= 0; --i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

// The colour table of an indexed picture and each pixel's index in it; false past 256 colours.
bool Index(const Picture& picture, std::vector<Rgba>& palette, std::vector<std::uint8_t>& indices) {
  std::map<std::uint32_t, std::uint8_t> known;
  for (int y = 0; y < picture.height(); ++y) {
    for (int x = 0; x < picture.width(); ++x) {
      Rgba pixel = picture.at(x, y);
      std::uint32_t key = pixel.red << 16 | pixel.green << 8 | pixel.blue;
      auto found = known.find(key);
      if (found == known.end()) {
        if (palette.size() == 256) return false;
        found = known.emplace(key, static_cast<std::uint8_t>(palette.size())).first;
        palette.push_back({pixel.red, pixel.green, pixel.blue, 255});
      }
      indices.push_back(found->second);
    }
  }
  return true;
}

// BITMAPFILEHEADER and BITMAPINFOHEADER of a bottom-up BI_RGB picture, its colour table, then
// its rows from the bottom up, each padded to a multiple of 4 bytes.
std::string EncodeBmp(const Picture& picture, Format format) {
  std::vector<Rgba> palette;
  std::vector<std::uint8_t> indices;
  if (format == Format::Bmp8 && !Index(picture, palette, indices)) return {};
  int bitsPerPixel = format == Format::Bmp8 ? 8 : 24;
  std::uint32_t stride = (picture.width() * bitsPerPixel + 31) / 32 * 4;
  std::uint32_t pixelBytes = stride * picture.height();
  std::uint32_t pixelOffset = 14 + 40 + 4 * static_cast<std::uint32_t>(palette.size());

  std::string out = "BM";
  PutLittle(out, pixelOffset + pixelBytes, 4);
  PutLittle(out, 0, 4);
  PutLittle(out, pixelOffset, 4);
  PutLittle(out, 40, 4);
  PutLittle(out, picture.width(), 4);
  PutLittle(out, picture.height(), 4);
  PutLittle(out, 1, 2);
  PutLittle(out, bitsPerPixel, 2);
  PutLittle(out, 0, 4);  // BI_RGB
  PutLittle(out, pixelBytes, 4);
  PutLittle(out, 2835, 4);  // 72 dpi
  PutLittle(out, 2835, 4);
  PutLittle(out, static_cast<std::uint32_t>(palette.size()), 4);
  PutLittle(out, 0, 4);
  for (const Rgba& entry : palette) {
    out += {static_cast<char>(entry.blue), static_cast<char>(entry.green),
            static_cast<char>(entry.red), '\0'};
  }
  for (int y = picture.height() - 1; y >= 0; --y) {
    std::size_t rowStart = out.size();
    for (int x = 0; x < picture.width(); ++x) {
      const Rgba& pixel = picture.at(x, y);
      if (format == Format::Bmp8) {
        out.push_back(
            static_cast<char>(indices[static_cast<std::size_t>(y) * picture.width() + x]));
      } else {
        out += {static_cast<char>(pixel.blue), static_cast<char>(pixel.green),
                static_cast<char>(pixel.red)};
      }
    }
    out.resize(rowStart + stride, '\0');
  }
  return out;
}

// Signature, IHDR (8-bit RGBA, no interlace), one IDAT of the rows each with filter 0, IEND.
std::string EncodePng(const Picture& picture) {
  std::string rows;
  for (int y = 0; y < picture.height(); ++y) {
    rows.push_back('\0');
    for (int x = 0; x < picture.width(); ++x) {
      const Rgba& pixel = picture.at(x, y);
      rows += {static_cast<char>(pixel.red), static_cast<char>(pixel.green),
               static_cast<char>(pixel.blue), static_cast<char>(pixel.alpha)};
    }
  }
  std::string compressed(compressBound(rows.size()), '\0');
  uLongf compressedSize = compressed.size();
  if (compress2(reinterpret_cast<Bytef*>(compressed.data()), &compressedSize,
                reinterpret_cast<const Bytef*>(rows.data()), rows.size(),
                Z_BEST_COMPRESSION) != Z_OK) {
    return {};
  }
  compressed.resize(compressedSize);

  std::string header;
  PutBig(header, picture.width());
  PutBig(header, picture.height());
  header += {8, 6, 0, 0, 0};
  return "\x89PNG\r\n\x1a\n" + PngChunk("IHDR", header) + PngChunk("IDAT", compressed) +
         PngChunk("IEND", "");
}

}  // namespace

Picture::Picture(int width, int height, Rgba fill)
    : width_(width), height_(height), pixels_(static_cast<std::size_t>(width) * height, fill) {}

void Picture::Fill(int left, int top, int right, int bottom, Rgba colour) {
  for (int y = std::max(top, 0); y < std::min(bottom, height_); ++y) {
    for (int x = std::max(left, 0); x < std::min(right, width_); ++x) at(x, y) = colour;
  }
}

std::string Encode(const Picture& picture, Format format) {
  return format == Format::Png32 ? EncodePng(picture) : EncodeBmp(picture, format);
}

bool Write(const std::string& path, const Picture& picture, Format format) {
  std::string bytes = Encode(picture, format);
  if (bytes.empty()) return false;
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  file.close();
  return !file.fail();
}

std::string PngChunk(std::string_view type, std::string_view data) {
  std::string chunk;
  PutBig(chunk, static_cast<std::uint32_t>(data.size()));
  std::string body = std::string(type) + std::string(data);
  chunk += body;
  PutBig(chunk, crc32(0, reinterpret_cast<const Bytef*>(body.data()), body.size()));
  return chunk;
}

}  // namespace sample_pictures
