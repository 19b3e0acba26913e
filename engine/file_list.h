#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/file_digests.h"

// filelist.log, as the server publishes it: two header lines of text, each at least one
// byte and ended by CR LF, not interpreted; then one record per file up to the end:
//
//   16 bytes  MD5 of the file's content (raw: any byte, CR, LF and NUL included)
//   n bytes   the file's key (\data\a.dat): no CR, LF or NUL, at least one byte
//   2 bytes   CR LF
//
// Reading sets `listed` of each named entry, adding entries as needed; a later record of
// the same key wins. A record cut short is dropped; no byte outside `bytes` is read.
void ReadFileList(std::string_view bytes, FileDigestMap& files);

// Two listed keys that are one file or share one package on this system (\data\a.dat and
// \data.a.dat; on Windows also \Data\a.dat and \data\A.DAT), in key order; none when every
// listed key has a file and a package of its own.
std::optional<std::pair<std::string, std::string>> CollidingKeys(const FileDigestMap& files);

struct ListedFile {
  std::string key;
  Digest digest;
};
std::string FileListBytes(const std::vector<ListedFile>& files);
