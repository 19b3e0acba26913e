#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "tools/publish/chunk_cleanup.h"
#include "tools/publish/chunk_store.h"
#include "tools/publish/publish_options.h"

struct PublishSummary {
  std::size_t files = 0;
  std::size_t packagesWritten = 0;
  std::size_t packagesKept = 0;
  std::size_t stalePackages = 0;  // of files no longer in the release; left on the server
  std::uint64_t bytesIn = 0;      // of the files packed
  std::uint64_t bytesOut = 0;     // of the packages written
  ChunkWork chunks;
  CleanupReport removed;  // chunks and indexes that no recent publish used
};

// Told before each release file (done counts from 1) with its key.
using ProgressReport =
    std::function<void(std::size_t done, std::size_t count, const std::string& key)>;

// Brings the server folder up to the release. Everything that can be refused is refused
// before the first byte is written. Throws PublishError (or std::filesystem's errors); a
// file that was being written when that happened is removed, and the lists are not touched.
// Once the lists are in place, removes what the cleanup rule of the options allows.
PublishSummary Publish(const PublishOptions& options, const ProgressReport& progress);
