#include "engine/content_chunks.h"

#include <algorithm>
#include <array>
#include <bit>

namespace {

constexpr std::uint32_t kMostChunk = 4 << 20;

// splitmix64 from a fixed seed: any table of well-mixed numbers would do, but this one is
// what every published index was cut with.
constexpr std::array<std::uint64_t, 256> GearTable() {
  std::array<std::uint64_t, 256> table{};
  std::uint64_t state = 0x76656c647261ull;
  for (std::uint64_t& entry : table) {
    state += 0x9e3779b97f4a7c15ull;
    std::uint64_t z = state;
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
    entry = z ^ (z >> 31);
  }
  return table;
}

constexpr std::array<std::uint64_t, 256> kGear = GearTable();

// The top `bits` bits: those that depend on the most recent 64 bytes, not only the last few.
constexpr std::uint64_t TopBits(int bits) { return ~std::uint64_t{0} << (64 - bits); }

}  // namespace

bool AreSoundParams(const ChunkParams& params) {
  return params.least >= kGearWindow && params.least <= params.average &&
         params.average <= params.most && params.most <= kMostChunk &&
         std::has_single_bit(params.average);
}

std::size_t ChunkLength(const std::uint8_t* bytes, std::size_t size, const ChunkParams& params) {
  if (size <= params.least) return size;
  const std::size_t end = std::min<std::size_t>(size, params.most);
  const std::size_t normal = std::min<std::size_t>(end, params.average);
  const int bits = std::countr_zero(params.average);
  const std::uint64_t strict = TopBits(bits + 2);
  const std::uint64_t loose = TopBits(bits - 2);
  std::uint64_t hash = 0;
  std::size_t at = params.least - kGearWindow;
  for (; at < params.least; ++at) hash = (hash << 1) + kGear[bytes[at]];
  for (; at < normal; ++at) {
    hash = (hash << 1) + kGear[bytes[at]];
    if ((hash & strict) == 0) return at + 1;
  }
  for (; at < end; ++at) {
    hash = (hash << 1) + kGear[bytes[at]];
    if ((hash & loose) == 0) return at + 1;
  }
  return end;
}
