#pragma once

#include <cstdint>
#include <mutex>
#include <string>

// Keeps one download or unpacking from taking the last free space of the game folder's disk,
// which the system and the player's other programs need: it may write only while the disk
// keeps the lesser of 256 MiB and 1 % of its size free. The disk is asked again every few
// MiB, since other programs write to it too. A disk whose space the system cannot tell is
// left to the writes' own errors. One reserve serves all the writes of a run at once.
class DiskReserve {
 public:
  static constexpr std::uint64_t kMost = 256ull << 20;

  // Whether `bytes` more would leave the reserve free, asking the disk now.
  bool Fits(std::uint64_t bytes);
  // The same for the next block of a write in progress, which it counts.
  bool Take(std::uint64_t bytes);

  // What the player is told when a write for `name` was stopped.
  std::string TooFullMessage(const std::string& name) const;

 private:
  void AskDisk();

  mutable std::mutex mutex_;
  bool known_ = true;
  std::uint64_t reserve_ = kMost;
  std::uint64_t headroom_ = 0;  // what may be written beyond the reserve when last asked
  std::uint64_t taken_ = 0;     // what was taken since
  bool asked_ = false;
};
