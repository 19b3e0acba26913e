#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/file_digests.h"
#include "engine/state_file.h"

// localfileStamps.log, saved with the status log: what each game file looked like when its
// `installed` digest was taken, so that a run notices a changed file without reading it.
// Integers are little-endian.
//
//   header, 8 bytes:  "VSTM", then the layout's version, 1 (4 bytes)
//   then per entry that has a stamp and an `installed` digest, in key order:
//     16 bytes  the `installed` digest the stamp vouches for (raw)
//     8 bytes   the file's size
//     8 bytes   its last-write time, in the system's own unit
//     4 bytes   n, the key's length
//     n bytes   the key (\data\a.dat)
//
// A record vouches for an entry only while the status log gives that entry the same
// `installed` digest: a stamps file older or newer than the log, one cut anywhere or of
// another layout vouches for fewer files, never for a changed one.
constexpr const char* kStampsName = "localfileStamps.log";
constexpr std::uint64_t kLargestStamps = 8 + kMostGameFiles * (36 + kLongKey);

std::string StampsBytes(const FileDigestMap& files);
// Sets `stamp` of each entry a record vouches for. No byte outside `bytes` is read.
void ReadStamps(std::string_view bytes, FileDigestMap& files);
