#include "skin/key_color_shape.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "platform/handles_win32.h"

namespace {

// [left, right) of each run of non-key pixels in a row, left to right.
using Runs = std::vector<std::pair<int, int>>;

void FindRuns(const std::uint32_t* row, int width, std::uint32_t key, Runs& runs) {
  runs.clear();
  int x = 0;
  while (x < width) {
    while (x < width && (row[x] & 0xFFFFFF) == key) ++x;
    int start = x;
    while (x < width && (row[x] & 0xFFFFFF) != key) ++x;
    if (x > start) runs.emplace_back(start, x);
  }
}

// The runs of one band of rows [top, bottom): rectangles side by side in one band, which
// ExtCreateRegion takes as they are.
HRGN BandRegion(const Runs& runs, int top, int bottom, POINT offset) {
  std::vector<std::byte> data(sizeof(RGNDATAHEADER) + runs.size() * sizeof(RECT));
  auto* header = reinterpret_cast<RGNDATAHEADER*>(data.data());
  header->dwSize = sizeof(RGNDATAHEADER);
  header->iType = RDH_RECTANGLES;
  header->nCount = static_cast<DWORD>(runs.size());
  header->nRgnSize = static_cast<DWORD>(runs.size() * sizeof(RECT));
  header->rcBound = {offset.x + runs.front().first, offset.y + top, offset.x + runs.back().second,
                     offset.y + bottom};
  auto* rects = reinterpret_cast<RECT*>(data.data() + sizeof(RGNDATAHEADER));
  for (const auto& [left, right] : runs) {
    *rects++ = {offset.x + left, offset.y + top, offset.x + right, offset.y + bottom};
  }
  return ExtCreateRegion(nullptr, static_cast<DWORD>(data.size()),
                         reinterpret_cast<const RGNDATA*>(data.data()));
}

// The union of regions added in order, merged as a binary counter merges its carries. A union
// costs the size of both regions, so adding every band to one growing region would cost the
// square of their number; here each band takes part in about log2(bands) unions, and no more
// than that many regions are alive at once.
class RegionUnion {
 public:
  void Add(HRGN region) {
    Part part{platform::OwnedRegion(region), 1};
    failed_ = failed_ || !part.region;
    while (!failed_ && !parts_.empty() && parts_.back().weight == part.weight) {
      failed_ = CombineRgn(part.region.get(), parts_.back().region.get(), part.region.get(),
                           RGN_OR) == ERROR;
      part.weight += parts_.back().weight;
      parts_.pop_back();
    }
    parts_.push_back(std::move(part));
  }

  // Null when any step failed.
  HRGN Take() {
    platform::OwnedRegion all(CreateRectRgn(0, 0, 0, 0));
    for (Part& part : parts_) {
      failed_ =
          failed_ || !all || CombineRgn(all.get(), all.get(), part.region.get(), RGN_OR) == ERROR;
    }
    return failed_ ? nullptr : all.Release();
  }

 private:
  struct Part {
    platform::OwnedRegion region;
    int weight;
  };
  std::vector<Part> parts_;
  bool failed_ = false;
};

}  // namespace

HRGN KeyColorShape(const DibPixels& pixels, int width, int height, COLORREF keyColor,
                   POINT offset) {
  // DIB pixels hold red in the third byte, COLORREF in the first.
  std::uint32_t key = GetRValue(keyColor) << 16 | GetGValue(keyColor) << 8 | GetBValue(keyColor);
  RegionUnion shape;
  // Rows with the same runs as the row above join its band.
  Runs band, row;
  int bandTop = 0;
  for (int y = 0; y < height; ++y) {
    FindRuns(pixels.Row(y), width, key, row);
    if (y > 0 && row == band) continue;
    if (!band.empty()) shape.Add(BandRegion(band, bandTop, y, offset));
    std::swap(band, row);
    bandTop = y;
  }
  if (!band.empty()) shape.Add(BandRegion(band, bandTop, height, offset));
  return shape.Take();
}
