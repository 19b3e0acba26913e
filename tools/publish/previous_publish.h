#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "engine/file_digests.h"

// What an earlier publish left in a server folder: the digests its filelist.log gives.
class PreviousPublish {
 public:
  explicit PreviousPublish(const std::filesystem::path& serverDir);

  // True when the folder holds the package of `key` for exactly this content.
  bool HoldsPackage(const std::string& key, const Digest& digest);

 private:
  std::filesystem::path serverDir_;
  FileDigestMap listed_;
  std::filesystem::file_time_type listWritten_;
};
