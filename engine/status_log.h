#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/file_digests.h"
#include "engine/state_file.h"

struct PatchRun;

// localfileStatus.log: the digests of the game folder as the last run left them, so that
// later runs need not read every game file again. Integers are 32-bit little-endian.
//
//   header, 24 bytes:  0 (4 bytes), 0 (4 bytes), 16 zero bytes; not read
//   then per map entry, in key order:
//     4 bytes   0, not read
//     16 bytes  fetched digest (raw)
//     16 bytes  installed digest (raw)
//     n bytes   the key (\data\a.dat), no terminator
//     2 bytes   CR LF
//
// `listed` is never saved: it comes from filelist.log on every run.
constexpr const char* kStatusLogName = "localfileStatus.log";
constexpr std::uint64_t kLargestStatusLog = 24 + kMostGameFiles * (36 + kLongKey + 2);

std::string StatusLogBytes(const FileDigestMap& files);
// Sets `installed` and `fetched` of each entry read, and clears its `listed`. A record cut
// short is dropped; no byte outside `bytes` is read.
void ReadStatusLog(std::string_view bytes, FileDigestMap& files);

// Saves the run's map, and its stamps into localfileStamps.log. Each is written beside its
// file, flushed to the disk and moved over it, so a crash leaves the previous one whole. False
// when the log could not be saved; stamps that could not be are only missed. Nothing is
// written when the map holds what was last read or saved: most runs change nothing, and
// rewriting the two files several times a run cost more than the check of 100,000 files.
bool WriteStatusLog(PatchRun& run);
// WriteStatusLog where the run must not go on without it: later runs would trust a log that
// no longer tells the truth. A failure is told with its reason, and false.
bool SaveStatusLog(PatchRun& run);
// The run's map is what the status log and its stamps on disk hold.
void RememberSavedFiles(PatchRun& run);
