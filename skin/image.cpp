#include "skin/image.h"

// GDI+ needs what WIN32_LEAN_AND_MEAN leaves out of windows.h.
#include <objidl.h>
// After objidl.h.
#include <gdiplus.h>

#include <algorithm>
#include <cstddef>
#include <mutex>
#include <vector>

#include "platform/files.h"
#include "skin/dib.h"
#include "skin/picture_size.h"

namespace gp = Gdiplus::DllExports;

namespace {

// The decoder runtime is shared by every image object of the process: started by the first
// load that finds it stopped, stopped when the last image object is destroyed.
struct Decoder {
  std::mutex mutex;
  int liveImages = 0;
  bool running = false;
  ULONG_PTR token = 0;
};

Decoder& TheDecoder() {
  static Decoder decoder;
  return decoder;
}

bool StartDecoder() {
  Decoder& decoder = TheDecoder();
  std::lock_guard<std::mutex> guard(decoder.mutex);
  if (!decoder.running) {
    Gdiplus::GdiplusStartupInput input;
    decoder.running = Gdiplus::GdiplusStartup(&decoder.token, &input, nullptr) == Gdiplus::Ok;
  }
  return decoder.running;
}

class DecodedFile {
 public:
  explicit DecodedFile(const std::wstring& path) {
    if (gp::GdipCreateBitmapFromFile(path.c_str(), &bitmap_) != Gdiplus::Ok) bitmap_ = nullptr;
  }
  ~DecodedFile() {
    if (bitmap_ != nullptr) gp::GdipDisposeImage(bitmap_);
  }
  DecodedFile(const DecodedFile&) = delete;
  DecodedFile& operator=(const DecodedFile&) = delete;

  Gdiplus::GpBitmap* get() const { return bitmap_; }

 private:
  Gdiplus::GpBitmap* bitmap_ = nullptr;
};

std::wstring WideFromAnsi(const std::string& text) {
  int length =
      MultiByteToWideChar(CP_THREAD_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(length, L'\0');
  MultiByteToWideChar(CP_THREAD_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(),
                      length);
  return wide;
}

// No skin picture comes near this (8192 x 8192); a file that declares more is refused.
bool TooManyPixels(std::int64_t width, std::int64_t height) {
  constexpr std::int64_t kMaxPixels = std::int64_t{8192} * 8192;
  return width > 0 && height > kMaxPixels / width;
}

bool DeclaresTooManyPixels(const std::string& path) {
  platform::File file;
  std::string head(kPictureHeadBytes, '\0');
  if (!file.Open(path, platform::FileMode::Read)) return false;
  std::int64_t read = file.Read(head.data(), head.size());
  head.resize(read > 0 ? static_cast<std::size_t>(read) : 0);
  std::optional<PictureSize> size = DeclaredPictureSize(head);
  return size && TooManyPixels(size->width, size->height);
}

// How a decoded format is held: its pixels read in `readFormat` into a DIB of that depth.
struct Layout {
  int bitsPerPixel;
  Gdiplus::PixelFormat readFormat;
  bool alpha;
};

Layout LayoutOf(Gdiplus::PixelFormat format) {
  if (Gdiplus::IsAlphaPixelFormat(format)) return {32, PixelFormat32bppARGB, true};
  if (Gdiplus::IsIndexedPixelFormat(format)) {
    return {static_cast<int>(Gdiplus::GetPixelFormatSize(format)), format, false};
  }
  return {24, PixelFormat24bppRGB, false};
}

// The colour table of an indexed picture: 1 to 256 entries, or none when it has another count.
std::vector<RGBQUAD> PaletteOf(Gdiplus::GpBitmap* bitmap) {
  INT size = 0;
  if (gp::GdipGetImagePaletteSize(bitmap, &size) != Gdiplus::Ok ||
      size < static_cast<INT>(sizeof(Gdiplus::ColorPalette))) {
    return {};
  }
  std::vector<std::byte> buffer(size);
  auto* palette = reinterpret_cast<Gdiplus::ColorPalette*>(buffer.data());
  if (gp::GdipGetImagePalette(bitmap, palette, size) != Gdiplus::Ok || palette->Count < 1 ||
      palette->Count > 256 ||
      palette->Count > (size - offsetof(Gdiplus::ColorPalette, Entries)) / sizeof(Gdiplus::ARGB)) {
    return {};
  }
  std::vector<RGBQUAD> table(palette->Count);
  for (UINT i = 0; i < palette->Count; ++i) {
    Gdiplus::ARGB entry = palette->Entries[i];
    table[i] = {static_cast<BYTE>(entry), static_cast<BYTE>(entry >> 8),
                static_cast<BYTE>(entry >> 16), 0};
  }
  return table;
}

// A copy of a 32-bit picture with each colour premultiplied by its alpha, rounded to nearest.
HBITMAP Premultiplied(const DibPixels& straight) {
  void* bits = nullptr;
  HBITMAP copy = CreateTopDownDib(straight.width, straight.height, 32, {}, &bits);
  if (copy == nullptr) return nullptr;
  auto* out = static_cast<std::uint32_t*>(bits);
  std::size_t count = static_cast<std::size_t>(straight.width) * straight.height;
  for (std::size_t i = 0; i < count; ++i) {
    std::uint32_t pixel = straight.rows[i];
    std::uint32_t alpha = pixel >> 24;
    auto scaled = [&](int shift) {
      std::uint32_t channel = (pixel >> shift) & 0xFF;
      return ((channel * alpha + 127) / 255) << shift;
    };
    out[i] = (alpha << 24) | scaled(16) | scaled(8) | scaled(0);
  }
  return copy;
}

}  // namespace

bool ImageDecoderRunning() {
  Decoder& decoder = TheDecoder();
  std::lock_guard<std::mutex> guard(decoder.mutex);
  return decoder.running;
}

CImage::CImage() {
  Decoder& decoder = TheDecoder();
  std::lock_guard<std::mutex> guard(decoder.mutex);
  ++decoder.liveImages;
}

CImage::~CImage() {
  Destroy();
  Decoder& decoder = TheDecoder();
  std::lock_guard<std::mutex> guard(decoder.mutex);
  if (--decoder.liveImages == 0 && decoder.running) {
    Gdiplus::GdiplusShutdown(decoder.token);
    decoder.running = false;
  }
}

void CImage::Destroy() {
  m_bitmap.Reset();
  m_blended.Reset();
  m_width = m_height = m_bitsPerPixel = 0;
  m_hasAlphaChannel = false;
}

bool CImage::Load(const std::string& path) {
  Destroy();
  if (!StartDecoder() || DeclaresTooManyPixels(path)) return false;
  DecodedFile file(WideFromAnsi(path));
  if (file.get() == nullptr) return false;

  UINT width = 0, height = 0;
  Gdiplus::PixelFormat format = 0;
  if (gp::GdipGetImageWidth(file.get(), &width) != Gdiplus::Ok ||
      gp::GdipGetImageHeight(file.get(), &height) != Gdiplus::Ok ||
      gp::GdipGetImagePixelFormat(file.get(), &format) != Gdiplus::Ok ||
      TooManyPixels(width, height)) {
    return false;
  }
  Layout layout = LayoutOf(format);
  std::vector<RGBQUAD> palette;
  if (Gdiplus::IsIndexedPixelFormat(format)) {
    palette = PaletteOf(file.get());
    if (palette.empty()) return false;
    // A DIB of n bits per pixel holds no more than 2^n colours.
    palette.resize(std::min<std::size_t>(palette.size(), std::size_t{1} << layout.bitsPerPixel));
  }

  void* bits = nullptr;
  platform::OwnedBitmap dib(CreateTopDownDib(static_cast<int>(width), static_cast<int>(height),
                                             layout.bitsPerPixel, palette, &bits));
  if (!dib) return false;
  // GDI+ writes the pixels straight into the DIB's rows.
  Gdiplus::BitmapData target{
      width, height, static_cast<INT>(DibStride(width, layout.bitsPerPixel)), layout.readFormat,
      bits,  0};
  Gdiplus::GpRect whole(0, 0, static_cast<INT>(width), static_cast<INT>(height));
  if (gp::GdipBitmapLockBits(file.get(), &whole,
                             Gdiplus::ImageLockModeRead | Gdiplus::ImageLockModeUserInputBuf,
                             layout.readFormat, &target) != Gdiplus::Ok) {
    return false;
  }
  gp::GdipBitmapUnlockBits(file.get(), &target);

  if (layout.alpha) {
    m_blended.Reset(Premultiplied(PixelsOf32BitDib(dib.get())));
    if (!m_blended) return false;
  }
  m_bitmap = std::move(dib);
  m_width = static_cast<int>(width);
  m_height = static_cast<int>(height);
  m_bitsPerPixel = layout.bitsPerPixel;
  m_hasAlphaChannel = layout.alpha;
  return true;
}

bool CImage::Draw(HDC target, int x, int y, int width, int height, int sourceX, int sourceY,
                  int sourceWidth, int sourceHeight) const {
  if (!m_bitmap) return false;
  bool blend = m_hasAlphaChannel && m_blended;
  platform::OwnedMemoryDC source(CreateCompatibleDC(target));
  platform::Selection selected(source.get(), blend ? m_blended.get() : m_bitmap.get());
  if (!selected.ok()) return false;
  if (blend) {
    BLENDFUNCTION function{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    return AlphaBlend(target, x, y, width, height, source.get(), sourceX, sourceY, sourceWidth,
                      sourceHeight, function);
  }
  return StretchBlt(target, x, y, width, height, source.get(), sourceX, sourceY, sourceWidth,
                    sourceHeight, SRCCOPY);
}
