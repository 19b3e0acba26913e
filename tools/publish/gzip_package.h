#pragma once

#include <cstdint>
#include <string>

#include "engine/md5.h"
#include "platform/files.h"
#include "tools/publish/served_file.h"

struct PackedContent {
  std::uint64_t size = 0;
  Digest digest{};  // of exactly the bytes packed
};

// Writes the package of the open file `source` for `key` (\data\a.dat) into `out`: one gzip
// member of the file's bytes from its start, then the trailer naming the target. Streams
// through fixed buffers whatever the file's size.
PackedContent WritePackage(platform::File& source, const std::string& key, int level,
                           ServedFile& out);
