#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "tools/publish/unique_fd.h"

// A file written under a temporary name in its folder and renamed into place only once it is
// whole and on disk, so that no client can fetch part of one. Removed when never committed.
class ReplacingFile {
 public:
  explicit ReplacingFile(const std::filesystem::path& folder);
  ~ReplacingFile();
  ReplacingFile(const ReplacingFile&) = delete;
  ReplacingFile& operator=(const ReplacingFile&) = delete;

  void Write(const char* bytes, std::size_t size);
  void Write(std::string_view bytes) { Write(bytes.data(), bytes.size()); }
  // Flushes the file to disk and renames it over `name` in the folder.
  void CommitAs(const std::string& name);
  std::uint64_t size() const { return size_; }

 private:
  std::filesystem::path folder_;
  std::string temporary_;  // empty once committed
  UniqueFd fd_;
  std::uint64_t size_ = 0;
};

// The file `name` in `folder` replaced in one step by one holding `bytes`.
void ReplaceFile(const std::filesystem::path& folder, const std::string& name,
                 std::string_view bytes);

// Makes the renames done in the folder so far survive a crash.
void SyncFolder(const std::filesystem::path& folder);
