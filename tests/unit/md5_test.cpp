#include "engine/md5.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "tests/support/scratch_folder.h"
#include "tests/unit/md5sum_reference.h"

namespace {
// The textbook MD5, sharing nothing with the engine's: constants taken from the sine as MD5
// defines them, a loop over the 64 steps, one byte added at a time.
class ReferenceMd5 {
 public:
  void Add(std::uint8_t byte) {
    block_[length_ % 64] = byte;
    ++length_;
    if (length_ % 64 == 0) Compress();
  }

  Digest Finish() {
    const std::uint64_t bits = length_ * 8;
    Add(0x80);
    while (length_ % 64 != 56) Add(0);
    for (int i = 0; i < 8; ++i) Add(static_cast<std::uint8_t>(bits >> (8 * i)));
    Digest digest;
    for (int i = 0; i < 16; ++i)
      digest[i] = static_cast<std::uint8_t>(state_[i / 4] >> (8 * (i % 4)));
    return digest;
  }

 private:
  static std::uint32_t Rotate(std::uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

  void Compress() {
    static const int kShifts[4][4] = {
        {7, 12, 17, 22}, {5, 9, 14, 20}, {4, 11, 16, 23}, {6, 10, 15, 21}};
    std::uint32_t x[16];
    for (int i = 0; i < 16; ++i) {
      x[i] = 0;
      for (int j = 3; j >= 0; --j) x[i] = (x[i] << 8) | block_[4 * i + j];
    }
    std::uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3];
    for (int i = 0; i < 64; ++i) {
      const int round = i / 16;
      std::uint32_t f;
      int word;
      if (round == 0) {
        f = (b & c) | (~b & d);
        word = i;
      } else if (round == 1) {
        f = (b & d) | (c & ~d);
        word = (5 * i + 1) % 16;
      } else if (round == 2) {
        f = b ^ c ^ d;
        word = (3 * i + 5) % 16;
      } else {
        f = c ^ (b | ~d);
        word = (7 * i) % 16;
      }
      const auto constant =
          static_cast<std::uint32_t>(std::floor(std::fabs(std::sin(i + 1.0)) * 4294967296.0));
      const std::uint32_t next = b + Rotate(a + f + constant + x[word], kShifts[round][i % 4]);
      a = d;
      d = c;
      c = b;
      b = next;
    }
    state_[0] += a;
    state_[1] += b;
    state_[2] += c;
    state_[3] += d;
  }

  std::uint8_t block_[64] = {};
  std::uint64_t length_ = 0;
  std::uint32_t state_[4] = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};
};

Digest ReferenceDigest(std::string_view bytes) {
  ReferenceMd5 md5;
  for (char byte : bytes) md5.Add(static_cast<std::uint8_t>(byte));
  return md5.Finish();
}

std::string Hex(const Digest& digest) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text;
  for (std::uint8_t byte : digest) {
    text += kDigits[byte >> 4];
    text += kDigits[byte & 0xf];
  }
  return text;
}

// Every byte value, in no pattern that lines up with blocks or reads.
std::string Scrambled(std::size_t length, std::uint32_t seed = 1) {
  std::string bytes(length, '\0');
  std::uint32_t state = seed;
  for (char& byte : bytes) {
    state = state * 1664525 + 1013904223;
    byte = static_cast<char>(state >> 24);
  }
  return bytes;
}

std::optional<Digest> DigestOfNamedFile(const std::string& name) {
  platform::File file;
  if (!file.Open(name, platform::FileMode::Read)) return std::nullopt;
  return CMD5Checksum::DigestOfFile(file);
}

TEST(Md5Test, KnownDigestsFromMemoryAndFromFiles) {
  const std::pair<std::string, std::string> known[] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"a", "0cc175b9c0f1b6a831c399e269772661"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
       "d174ab98d277d9f5a5611c2c9f419d9f"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57edf4a22be3c955ac49da2e2107b67a"},
  };
  ScratchFolder folder;
  for (const auto& [text, expected] : known) {
    SCOPED_TRACE(text);
    EXPECT_EQ(Hex(ReferenceDigest(text)), expected) << "the test's own reference";
    EXPECT_EQ(Hex(DigestOfBytes(text)), expected);
    folder.Write("known.txt", text);
    std::optional<Digest> of_file = DigestOfNamedFile("known.txt");
    ASSERT_TRUE(of_file);
    EXPECT_EQ(Hex(*of_file), expected);
  }
}

// Lengths either side of the 56-byte padding limit, of blocks, and of the 64 KiB reads.
TEST(Md5Test, FilesAroundBlockAndReadEdgesMatchIndependentDigests) {
  ScratchFolder folder;
  const std::size_t lengths[] = {
      0, 55, 56, 63, 64, 65, 1023, 1024, 1025, 65535, 65536, 65537, 5 * 1024 * 1024 + 3};
  for (std::size_t length : lengths) {
    SCOPED_TRACE(length);
    const std::string content = Scrambled(length, static_cast<std::uint32_t>(length));
    folder.Write("game.dat", content);
    std::optional<Digest> of_file = DigestOfNamedFile("game.dat");
    ASSERT_TRUE(of_file);
    EXPECT_EQ(Hex(*of_file), Hex(ReferenceDigest(content)));
    EXPECT_EQ(Hex(DigestOfBytes(content)), Hex(*of_file));
    if (Md5sumReachable()) {
      std::optional<Digest> md5sum = Md5sumDigestOf("game.dat");
      ASSERT_TRUE(md5sum) << "md5sum did not answer";
      EXPECT_EQ(Hex(*of_file), Hex(*md5sum));
    }
  }
}

TEST(Md5Test, DigestCoversOnlyWhatFollowsThePosition) {
  ScratchFolder folder;
  const std::string content = Scrambled(200000);
  folder.Write("game.dat", content);
  for (std::size_t position :
       {std::size_t{1}, std::size_t{64}, std::size_t{65537}, content.size() - 1, content.size()}) {
    SCOPED_TRACE(position);
    platform::File file;
    ASSERT_TRUE(file.Open("game.dat", platform::FileMode::Read));
    ASSERT_TRUE(file.Seek(static_cast<std::int64_t>(position)));
    std::optional<Digest> rest = CMD5Checksum::DigestOfFile(file);
    ASSERT_TRUE(rest);
    EXPECT_EQ(Hex(*rest), Hex(ReferenceDigest(std::string_view(content).substr(position))));
  }
}

TEST(Md5Test, AFailedReadGivesNoDigest) {
  ScratchFolder folder;
  platform::File file;
  ASSERT_TRUE(file.Open("written.dat", platform::FileMode::Write));
  ASSERT_TRUE(file.Write("some bytes", 10));
  ASSERT_TRUE(file.Seek(0));
  EXPECT_FALSE(CMD5Checksum::DigestOfFile(file)) << "a file opened for writing only";
}

// Nothing of one digest carries into the next, and a single changed bit shows.
TEST(Md5Test, DigestsDependOnTheContentAlone) {
  ScratchFolder folder;
  const std::string content = Scrambled(100000, 7);
  std::string last_bit_flipped = content;
  last_bit_flipped.back() = static_cast<char>(last_bit_flipped.back() ^ 1);
  folder.Write("a.dat", content);
  folder.Write("b.dat", content);
  folder.Write("c.dat", last_bit_flipped);
  std::optional<Digest> first = DigestOfNamedFile("a.dat");
  ASSERT_TRUE(first);
  EXPECT_EQ(DigestOfNamedFile("b.dat"), first);
  EXPECT_EQ(DigestOfNamedFile("a.dat"), first);
  std::optional<Digest> flipped = DigestOfNamedFile("c.dat");
  ASSERT_TRUE(flipped);
  EXPECT_NE(*flipped, *first);
  EXPECT_EQ(Hex(*flipped), Hex(ReferenceDigest(last_bit_flipped)));
}
}  // namespace
