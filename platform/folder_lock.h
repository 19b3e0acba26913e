#pragma once

#include <cstdint>
#include <string>

namespace platform {

// A lock file held open exclusively for as long as the object lives. The system lets it go
// when the process ends, however it ends, so a killed holder never blocks the next one.
class FolderLock {
 public:
  enum class Result { Taken, Busy, Failed };

  FolderLock() = default;
  ~FolderLock() { Release(); }
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;

  // Busy when another holder has it; Failed (with the system's error in `error()`) when the
  // file cannot be opened at all, or is no plain file of its own: a link (never followed, so
  // nothing is made where it points), a folder, a device or a pipe.
  Result Take(const std::string& name);
  void Release() {
    if (handle_ == kFree) return;
    Close(handle_);
    handle_ = kFree;
  }
  unsigned long error() const { return error_; }

 private:
  static constexpr std::intptr_t kFree = -1;
  // Gives a held handle back to the system.
  static void Close(std::intptr_t handle);

  std::intptr_t handle_ = kFree;
  unsigned long error_ = 0;
};

}  // namespace platform
