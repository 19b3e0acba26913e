#include "engine/md5.h"

#include <bit>
#include <cstring>
#include <memory>

namespace {
constexpr std::size_t kReadSize = 64 * 1024;

// Byte by byte, so the digest does not depend on the host's byte order; compilers make
// this one load.
std::uint32_t LittleEndianWord(const std::uint8_t* bytes) {
  return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
         static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

void StoreLittleEndian(std::uint32_t word, std::uint8_t* bytes) {
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<std::uint8_t>(word >> (8 * i));
}

// Each step adds the message word and constant first: that sum does not wait for the
// previous step, which keeps the chain through b short.
template <int kShift>
void StepF(std::uint32_t& a, std::uint32_t b, std::uint32_t c, std::uint32_t d, std::uint32_t word,
           std::uint32_t constant) {
  a += word + constant;
  a += ((c ^ d) & b) ^ d;  // (b & c) | (~b & d)
  a = std::rotl(a, kShift) + b;
}

template <int kShift>
void StepG(std::uint32_t& a, std::uint32_t b, std::uint32_t c, std::uint32_t d, std::uint32_t word,
           std::uint32_t constant) {
  a += word + constant;
  // (b & d) | (c & ~d): the halves share no bit, so they may be added, and c & ~d need not
  // wait for b.
  a += c & ~d;
  a += b & d;
  a = std::rotl(a, kShift) + b;
}

template <int kShift>
void StepH(std::uint32_t& a, std::uint32_t b, std::uint32_t c, std::uint32_t d, std::uint32_t word,
           std::uint32_t constant) {
  a += word + constant;
  a += b ^ (c ^ d);
  a = std::rotl(a, kShift) + b;
}

template <int kShift>
void StepI(std::uint32_t& a, std::uint32_t b, std::uint32_t c, std::uint32_t d, std::uint32_t word,
           std::uint32_t constant) {
  a += word + constant;
  a += c ^ (b | ~d);
  a = std::rotl(a, kShift) + b;
}

constexpr std::uint8_t kPadding[64] = {0x80};
}  // namespace

void CMD5Checksum::ProcessBlock(const std::uint8_t* block) {
  std::uint32_t x[16];
  for (int i = 0; i < 16; ++i) x[i] = LittleEndianWord(block + 4 * i);
  std::uint32_t a = a_, b = b_, c = c_, d = d_;

  StepF<7>(a, b, c, d, x[0], 0xd76aa478);
  StepF<12>(d, a, b, c, x[1], 0xe8c7b756);
  StepF<17>(c, d, a, b, x[2], 0x242070db);
  StepF<22>(b, c, d, a, x[3], 0xc1bdceee);
  StepF<7>(a, b, c, d, x[4], 0xf57c0faf);
  StepF<12>(d, a, b, c, x[5], 0x4787c62a);
  StepF<17>(c, d, a, b, x[6], 0xa8304613);
  StepF<22>(b, c, d, a, x[7], 0xfd469501);
  StepF<7>(a, b, c, d, x[8], 0x698098d8);
  StepF<12>(d, a, b, c, x[9], 0x8b44f7af);
  StepF<17>(c, d, a, b, x[10], 0xffff5bb1);
  StepF<22>(b, c, d, a, x[11], 0x895cd7be);
  StepF<7>(a, b, c, d, x[12], 0x6b901122);
  StepF<12>(d, a, b, c, x[13], 0xfd987193);
  StepF<17>(c, d, a, b, x[14], 0xa679438e);
  StepF<22>(b, c, d, a, x[15], 0x49b40821);

  StepG<5>(a, b, c, d, x[1], 0xf61e2562);
  StepG<9>(d, a, b, c, x[6], 0xc040b340);
  StepG<14>(c, d, a, b, x[11], 0x265e5a51);
  StepG<20>(b, c, d, a, x[0], 0xe9b6c7aa);
  StepG<5>(a, b, c, d, x[5], 0xd62f105d);
  StepG<9>(d, a, b, c, x[10], 0x02441453);
  StepG<14>(c, d, a, b, x[15], 0xd8a1e681);
  StepG<20>(b, c, d, a, x[4], 0xe7d3fbc8);
  StepG<5>(a, b, c, d, x[9], 0x21e1cde6);
  StepG<9>(d, a, b, c, x[14], 0xc33707d6);
  StepG<14>(c, d, a, b, x[3], 0xf4d50d87);
  StepG<20>(b, c, d, a, x[8], 0x455a14ed);
  StepG<5>(a, b, c, d, x[13], 0xa9e3e905);
  StepG<9>(d, a, b, c, x[2], 0xfcefa3f8);
  StepG<14>(c, d, a, b, x[7], 0x676f02d9);
  StepG<20>(b, c, d, a, x[12], 0x8d2a4c8a);

  StepH<4>(a, b, c, d, x[5], 0xfffa3942);
  StepH<11>(d, a, b, c, x[8], 0x8771f681);
  StepH<16>(c, d, a, b, x[11], 0x6d9d6122);
  StepH<23>(b, c, d, a, x[14], 0xfde5380c);
  StepH<4>(a, b, c, d, x[1], 0xa4beea44);
  StepH<11>(d, a, b, c, x[4], 0x4bdecfa9);
  StepH<16>(c, d, a, b, x[7], 0xf6bb4b60);
  StepH<23>(b, c, d, a, x[10], 0xbebfbc70);
  StepH<4>(a, b, c, d, x[13], 0x289b7ec6);
  StepH<11>(d, a, b, c, x[0], 0xeaa127fa);
  StepH<16>(c, d, a, b, x[3], 0xd4ef3085);
  StepH<23>(b, c, d, a, x[6], 0x04881d05);
  StepH<4>(a, b, c, d, x[9], 0xd9d4d039);
  StepH<11>(d, a, b, c, x[12], 0xe6db99e5);
  StepH<16>(c, d, a, b, x[15], 0x1fa27cf8);
  StepH<23>(b, c, d, a, x[2], 0xc4ac5665);

  StepI<6>(a, b, c, d, x[0], 0xf4292244);
  StepI<10>(d, a, b, c, x[7], 0x432aff97);
  StepI<15>(c, d, a, b, x[14], 0xab9423a7);
  StepI<21>(b, c, d, a, x[5], 0xfc93a039);
  StepI<6>(a, b, c, d, x[12], 0x655b59c3);
  StepI<10>(d, a, b, c, x[3], 0x8f0ccc92);
  StepI<15>(c, d, a, b, x[10], 0xffeff47d);
  StepI<21>(b, c, d, a, x[1], 0x85845dd1);
  StepI<6>(a, b, c, d, x[8], 0x6fa87e4f);
  StepI<10>(d, a, b, c, x[15], 0xfe2ce6e0);
  StepI<15>(c, d, a, b, x[6], 0xa3014314);
  StepI<21>(b, c, d, a, x[13], 0x4e0811a1);
  StepI<6>(a, b, c, d, x[4], 0xf7537e82);
  StepI<10>(d, a, b, c, x[11], 0xbd3af235);
  StepI<15>(c, d, a, b, x[2], 0x2ad7d2bb);
  StepI<21>(b, c, d, a, x[9], 0xeb86d391);

  a_ += a;
  b_ += b;
  c_ += c;
  d_ += d;
}

void CMD5Checksum::AddBytes(const std::uint8_t* bytes, std::size_t size) {
  std::size_t used = (bit_count_[0] >> 3) & 0x3f;
  // The count is of bits modulo 2^64; size may exceed 32 bits, hence the shift by 29.
  const auto added_low = static_cast<std::uint32_t>(size << 3);
  bit_count_[0] += added_low;
  if (bit_count_[0] < added_low) ++bit_count_[1];
  bit_count_[1] += static_cast<std::uint32_t>(size >> 29);

  std::size_t room = 64 - used;
  std::size_t done = 0;
  if (size >= room) {
    std::memcpy(block_ + used, bytes, room);
    ProcessBlock(block_);
    for (done = room; size - done >= 64; done += 64) ProcessBlock(bytes + done);
    used = 0;
  }
  if (done < size) std::memcpy(block_ + used, bytes + done, size - done);
}

Digest CMD5Checksum::FinishDigest() {
  std::uint8_t length[8];
  StoreLittleEndian(bit_count_[0], length);
  StoreLittleEndian(bit_count_[1], length + 4);
  std::size_t used = (bit_count_[0] >> 3) & 0x3f;
  AddBytes(kPadding, used < 56 ? 56 - used : 120 - used);
  AddBytes(length, sizeof length);

  Digest digest;
  StoreLittleEndian(a_, digest.data());
  StoreLittleEndian(b_, digest.data() + 4);
  StoreLittleEndian(c_, digest.data() + 8);
  StoreLittleEndian(d_, digest.data() + 12);
  return digest;
}

std::optional<Digest> CMD5Checksum::DigestOfFile(platform::File& file) {
  // One buffer for the whole file, never one per read.
  auto buffer = std::make_unique_for_overwrite<std::uint8_t[]>(kReadSize);
  CMD5Checksum checksum;
  for (;;) {
    std::int64_t got = file.Read(buffer.get(), kReadSize);
    if (got < 0) return std::nullopt;
    if (got == 0) return checksum.FinishDigest();
    checksum.AddBytes(buffer.get(), static_cast<std::size_t>(got));
  }
}

Digest DigestOfBytes(std::string_view bytes) {
  CMD5Checksum checksum;
  checksum.AddBytes(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
  return checksum.FinishDigest();
}
