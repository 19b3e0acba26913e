#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace platform {
class File;
}

// A package: one gzip member (RFC 1952) whose content is the file's bytes, then a trailer
// of L bytes naming where the file belongs. Integers are 32-bit little-endian.
//
//   trailer offset  size        content
//   0               1           not interpreted (written as 0)
//   1               k + 1       target path below the game folder (data\maps\a.dat), NUL-ended
//   2 + k           L - 10 - k  not interpreted (normally none)
//   L - 8           4           L, the trailer's length, these 8 bytes included
//   L - 4           4           magic 0x00B8DF32
//
// A gzip reader stops at the end of the member and passes over the trailer.
constexpr std::uint32_t kPackageMagic = 0x00B8DF32;
constexpr std::size_t kTrailerEndSize = 8;   // L and the magic
constexpr std::size_t kTrailerMinimum = 10;  // a first byte, a NUL, L and the magic

std::string PackageTrailer(std::string_view target);

// L from the package's last 8 bytes; none when the magic is wrong or L cannot be a trailer
// of a package of `packageLength` bytes.
std::optional<std::uint32_t> TrailerLengthOf(std::string_view lastEight,
                                             std::uint64_t packageLength);

// The target the trailer names, with '/' made '\'; none when it would reach outside the game
// folder or name a device: empty, absolute, with a drive or any ':', a ".." or empty
// component, a component ending in '.' or ' ', a control character or one of <>"|?*, or a
// reserved device name (CON, PRN, AUX, NUL, COM0-9, LPT0-9, with or without extension).
std::optional<std::string> TargetOfTrailer(std::string_view trailer);

// The target that a whole package's trailer names, or that of an open package file, of which
// only the trailer is read; none when there is no valid trailer.
std::optional<std::string> TargetOfPackage(std::string_view package);
std::optional<std::string> TargetOfPackage(platform::File& file);
