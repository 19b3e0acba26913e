#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "platform/replacing_file.h"

// A file of the server folder written under a temporary name and moved over `name` only once
// it is whole and on disk, so that no client can fetch part of one. Removed when never
// committed. Each failure throws a PublishError that names the file and the system's reason.
class ServedFile {
 public:
  ServedFile(const std::filesystem::path& folder, const std::string& name);

  void Write(const char* bytes, std::size_t size);
  void Write(std::string_view bytes) { Write(bytes.data(), bytes.size()); }
  // LeaveToSystem skips the wait for the disk: for the many small files that FlushFileSystem
  // puts on the disk at once before anything names them.
  void Commit(platform::ReplacingFile::Flush flush = platform::ReplacingFile::Flush::ToDisk);
  std::uint64_t size() const { return size_; }

 private:
  [[noreturn]] void Throw(const char* what) const;

  std::filesystem::path placed_;
  platform::ReplacingFile file_;
  std::uint64_t size_ = 0;
};

// The file `name` in `folder` replaced in one step by one holding `bytes`.
void ReplaceFile(const std::filesystem::path& folder, const std::string& name,
                 std::string_view bytes);

// Makes the renames done in the folder so far survive a crash.
void SyncFolder(const std::filesystem::path& folder);

// Puts everything written to the file system that holds `folder` on the disk, renames
// included: one wait instead of one per file.
void FlushFileSystem(const std::filesystem::path& folder);
