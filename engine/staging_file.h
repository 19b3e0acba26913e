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
  // Keeps a file of at most `limit` bytes in memory: Create makes no file, and one that grows
  // past the limit goes to the disk then. Small files cost no writes to temp\ that way, but
  // do not resume. Set before Create.
  void KeepInMemoryUpTo(std::size_t limit) { memoryLimit_ = limit; }
  // Whether a file of `length` bytes stays in memory, once created.
  bool StaysInMemory(std::uint64_t length) const { return inMemory_ && length <= memoryLimit_; }
  // For a file that will not fit in memory: on the disk from its first byte, so that what
  // arrives of it resumes.
  bool KeepOnDisk() { return !inMemory_ || MoveToDisk(); }
  // A file in memory of the announced `length` takes that much, not what growing takes.
  void Expect(std::uint64_t length) {
    if (StaysInMemory(length)) memory_.reserve(static_cast<std::size_t>(length));
  }

  // Empty, also when it held something before.
  bool Create(const std::string& name);
  // Goes on after the first `have` bytes of the file, which are hashed first when asked.
  bool Resume(const std::string& name, std::uint64_t have);
  bool Append(const char* bytes, std::size_t count);
  // Writes what is buffered, flushed to the disk itself when asked, and closes the file.
  bool Finish(bool toDisk);

  // After Finish: whether the whole file is in memory, and its bytes, taken once.
  bool InMemory() const { return inMemory_; }
  std::string TakeBytes() { return std::move(memory_); }

  bool TooFull() const { return tooFull_; }
  std::uint64_t Size() const { return size_; }
  // What was written, for a manifest's line; hashed only after HashContent. Asked once.
  ManifestEntry Written();
  // Why the last call that failed failed: the step, the file and the system's words.
  const std::string& failure() const { return failure_; }

 private:
  static constexpr std::size_t kBlockSize = 64 * 1024;
  bool Flush();
  bool MoveToDisk();
  bool Fail(const char* step);

  DiskReserve& reserve_;
  std::string name_;
  platform::File file_;
  std::vector<char> buffer_;
  std::size_t memoryLimit_ = 0;
  bool inMemory_ = false;
  std::string memory_;
  bool tooFull_ = false;
  std::optional<platform::Sha256> hash_;
  std::uint64_t size_ = 0;
  std::string failure_;
};
