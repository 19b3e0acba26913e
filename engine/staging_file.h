#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/disk_reserve.h"
#include "engine/release_manifest.h"
#include "platform/files.h"
#include "platform/signature.h"

// The file a download writes into, in large blocks: the server hands over 512 bytes at a
// time, and a system call for each would cost more than the transfer. No block is written
// that would take the disk's reserve. When asked, it hashes the content as it goes to the
// disk. A failure keeps the system's reason.
class StagingFile {
 public:
  explicit StagingFile(DiskReserve& reserve) : reserve_(reserve) {}
  void HashContent() { hash_.emplace(); }

  // Empty, also when it held something before.
  bool Create(const std::string& name);
  // Goes on after the first `have` bytes of the file, which are hashed first when asked.
  bool Resume(const std::string& name, std::uint64_t have);
  bool Append(const char* bytes, std::size_t count);
  // Writes what is buffered, flushed to the disk itself when asked, and closes the file.
  bool Finish(bool toDisk);

  bool TooFull() const { return tooFull_; }
  std::uint64_t Size() const { return size_; }
  // What was written, for a manifest's line; hashed only after HashContent. Asked once.
  ManifestEntry Written();
  // Why the last call that failed failed: the step, the file and the system's words.
  const std::string& failure() const { return failure_; }

 private:
  static constexpr std::size_t kBlockSize = 64 * 1024;
  bool Flush();
  bool Fail(const char* step);

  DiskReserve& reserve_;
  std::string name_;
  platform::File file_;
  std::vector<char> buffer_;
  bool tooFull_ = false;
  std::optional<platform::Sha256> hash_;
  std::uint64_t size_ = 0;
  std::string failure_;
};
