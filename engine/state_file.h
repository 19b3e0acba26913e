#pragma once

#include <cstdint>
#include <optional>
#include <string>

struct PatchJob;

// The files the engine keeps in the game folder are read whole, so each is read only when it
// is a regular file no larger than its layout can be. A larger one, or a folder, a device or a
// pipe in its place, is damaged: it is taken as missing, never as a reason to fill the memory
// or to wait.

// The most files a game folder is taken to hold, and the key length counted for each of them
// (an installable key is at most 246 bytes): the lists kept about them follow from these.
constexpr std::uint64_t kMostGameFiles = 1000000;
constexpr std::uint64_t kLongKey = 260;

// filelist.log: two header lines, then per file its digest, key and CR LF.
constexpr std::uint64_t kLargestFileList = (64 << 10) + kMostGameFiles * (16 + kLongKey + 2);
// pserv.log: 36 bytes, then the server list.
constexpr std::uint64_t kLargestPservLog = 1 << 20;
// A version or release number, or the name of a zone or a folder.
constexpr std::uint64_t kLargestNoteFile = 64 << 10;

// The content of `name`, none when it is missing or damaged.
std::optional<std::string> ReadStateFile(const std::string& name, std::uint64_t limit);
// The same, and a damaged file becomes the job's failure reason, naming the file, so that a
// run that cannot go on without it says why.
std::optional<std::string> ReadStateFile(PatchJob& job, const std::string& name,
                                         std::uint64_t limit);
