#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "platform/files.h"

// An MD5 digest as raw bytes: A, B, C, D of the final state, each least significant byte
// first. Never text.
using Digest = std::array<std::uint8_t, 16>;

// MD5 of a file. The digest of a whole game folder is the cost of a first run, so the block
// step is unrolled and whole blocks are taken straight from the read buffer.
class CMD5Checksum {
 public:
  virtual ~CMD5Checksum() {}

  // MD5 of the bytes from the file's current position to its end; none when a read fails.
  static std::optional<Digest> DigestOfFile(platform::File& file);

 private:
  friend Digest DigestOfBytes(std::string_view bytes);
  friend class Md5Stream;

  CMD5Checksum() = default;
  CMD5Checksum(const CMD5Checksum&) = delete;
  CMD5Checksum& operator=(const CMD5Checksum&) = delete;

  void ProcessBlock(const std::uint8_t* block);
  void AddBytes(const std::uint8_t* bytes, std::size_t size);
  Digest FinishDigest();

  std::uint8_t block_[64] = {};
  std::uint32_t bit_count_[2] = {0, 0};  // low word first
  std::uint32_t a_ = 0x67452301;
  std::uint32_t b_ = 0xefcdab89;
  std::uint32_t c_ = 0x98badcfe;
  std::uint32_t d_ = 0x10325476;
};

// MD5 of bytes in memory, as DigestOfFile gives for a file holding them.
Digest DigestOfBytes(std::string_view bytes);

// MD5 of bytes handed over piece by piece, for content digested as it is written.
class Md5Stream {
 public:
  void Add(const void* bytes, std::size_t size) {
    checksum_.AddBytes(static_cast<const std::uint8_t*>(bytes), size);
  }
  // Once only: the digest of everything added.
  Digest Finish() { return checksum_.FinishDigest(); }

 private:
  CMD5Checksum checksum_;
};
