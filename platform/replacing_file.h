#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/files.h"

namespace platform {

// A file written under a temporary name beside its target and moved over the target only
// once it is whole and on the disk, so that a crash leaves the old file or the new one, never
// part of one. The temporary is removed when the object goes without a commit.
class ReplacingFile {
 public:
  // Creates `temporary`, emptying one a crash left; a caller picks a name that none of its
  // own files can have.
  ReplacingFile(std::string target, std::string temporary);
  ~ReplacingFile();
  ReplacingFile(const ReplacingFile&) = delete;
  ReplacingFile& operator=(const ReplacingFile&) = delete;

  // False once any step has failed: nothing more is done then, and `failure` says why.
  bool Write(const void* bytes, std::size_t size);
  bool Write(std::string_view bytes) { return Write(bytes.data(), bytes.size()); }
  // Moves the file over the target, flushed to the disk first unless the caller can do
  // without: a file whose loss the next run notices by itself need not wait for the disk.
  enum class Flush { ToDisk, LeaveToSystem };
  bool Commit(Flush flush = Flush::ToDisk);

  bool failed() const { return !failure_.empty(); }
  // The step that failed first and the system's reason; empty while none has.
  const std::string& failure() const { return failure_; }
  const std::string& temporary() const { return temporary_; }

 private:
  bool Fail(const char* step);

  std::string target_;
  std::string temporary_;
  File file_;
  bool committed_ = false;
  std::string failure_;
};

}  // namespace platform
