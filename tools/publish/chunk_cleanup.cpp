#include "tools/publish/chunk_cleanup.h"

#include <algorithm>
#include <map>
#include <optional>
#include <set>
#include <system_error>

#include "engine/chunk_index.h"
#include "engine/hex.h"
#include "platform/files.h"
#include "tools/publish/chunk_uses.h"
#include "tools/publish/publish_error.h"
#include "tools/publish/served_file.h"

namespace fs = std::filesystem;
using Clock = std::chrono::system_clock;

namespace {

constexpr std::uint64_t kLargestRecord = 64 << 20;
constexpr std::uint64_t kLargestIndex = 256 << 20;  // of a file of about 400 GiB

std::int64_t SecondsOf(Clock::time_point time) {
  return std::chrono::duration_cast<std::chrono::seconds>(time.time_since_epoch()).count();
}

// When the file last changed; none when it cannot be told, which keeps it.
std::optional<std::int64_t> ChangedAt(const fs::path& file) {
  std::error_code error;
  const fs::file_time_type changed = fs::last_write_time(file, error);
  if (error) return std::nullopt;
  return SecondsOf(std::chrono::file_clock::to_sys(changed));
}

class Cleanup {
 public:
  Cleanup(const fs::path& serverDir, const CleanupRule& rule)
      : serverDir_(serverDir), rule_(rule), now_(SecondsOf(Clock::now())) {}

  CleanupReport Run(const std::vector<std::string>& usedIndexes) {
    std::optional<std::vector<PublishUse>> uses = ReadRecord();
    if (!uses) {
      WriteRecord({PublishUse{now_, NamesOf(usedIndexes)}});
      return std::move(report_);
    }
    uses->push_back(PublishUse{now_, NamesOf(usedIndexes)});
    uses_ = std::move(*uses);
    const std::set<std::string> removed = RemovableIndexes();
    // Written first: what a crash then leaves behind counts as unknown, and goes later.
    WriteRecord(std::vector<PublishUse>(uses_.begin() + FirstLineKept(), uses_.end()));
    const std::optional<std::set<std::string>> listed = ChunksOfKeptIndexes(removed);
    for (const std::string& md5 : removed) Remove(serverDir_ / "indexes" / md5, report_.indexes);
    if (listed) RemoveChunksOutside(*listed);
    return std::move(report_);
  }

 private:
  static std::vector<std::string> NamesOf(const std::vector<std::string>& indexes) {
    std::vector<std::string> names;
    for (const std::string& index : indexes) names.push_back(fs::path(index).filename().string());
    return names;
  }

  std::optional<std::vector<PublishUse>> ReadRecord() {
    const fs::path record = serverDir_ / kChunkUsesName;
    const platform::WholeFile file = platform::ReadRegularFile(record.string(), kLargestRecord);
    if (file.missing) return std::vector<PublishUse>{};
    std::string why = file.why;
    std::optional<std::vector<PublishUse>> uses;
    if (file.bytes) uses = ParseChunkUses(*file.bytes, why);
    if (!uses) {
      report_.kept = Quoted(record.string()) + " cannot be read (" + why +
                     "), so no chunk or index was removed; it starts anew with this publish";
    }
    return uses;
  }

  void WriteRecord(const std::vector<PublishUse>& uses) {
    ReplaceFile(serverDir_, kChunkUsesName, ChunkUsesBytes(uses));
    SyncFolder(serverDir_);
  }

  bool Aged(std::int64_t since) const { return now_ - since >= rule_.grace.count(); }
  std::size_t FirstOfTheLast() const {
    return uses_.size() - std::min(uses_.size(), rule_.keptPublishes);
  }

  // The record keeps the last publishes and those whose successor came within the grace.
  std::size_t FirstLineKept() const {
    std::size_t first = FirstOfTheLast();
    while (first > 0 && !Aged(uses_[first].time)) --first;
    return first;
  }

  // Indexes whose last use ended (the next publish came) longer than the grace ago, or that
  // the record does not know once it holds enough publishes to tell.
  std::set<std::string> RemovableIndexes() const {
    std::map<std::string, std::size_t> lastUse;
    for (std::size_t at = 0; at < uses_.size(); ++at) {
      for (const std::string& md5 : uses_[at].indexes) lastUse[md5] = at;
    }
    const std::size_t firstKept = FirstOfTheLast();
    const bool knowsTheLast = uses_.size() >= rule_.keptPublishes;
    std::set<std::string> removable;
    for (const std::string& md5 : Names(serverDir_ / "indexes", 32)) {
      auto use = lastUse.find(md5);
      std::optional<std::int64_t> unusedSince;
      if (use == lastUse.end()) {
        if (knowsTheLast) unusedSince = uses_.front().time;
      } else if (use->second < firstKept) {
        unusedSince = uses_[use->second + 1].time;
      }
      const std::optional<std::int64_t> changed = ChangedAt(serverDir_ / "indexes" / md5);
      if (unusedSince && Aged(*unusedSince) && changed && Aged(*changed)) removable.insert(md5);
    }
    return removable;
  }

  // The hex names of every chunk the indexes that stay list; none when one cannot be read.
  std::optional<std::set<std::string>> ChunksOfKeptIndexes(const std::set<std::string>& removed) {
    std::set<std::string> listed;
    for (const std::string& md5 : Names(serverDir_ / "indexes", 32)) {
      if (removed.contains(md5)) continue;
      const fs::path index = serverDir_ / "indexes" / md5;
      const platform::WholeFile file = platform::ReadRegularFile(index.string(), kLargestIndex);
      std::string why = file.why;
      std::optional<ChunkIndex> parsed =
          file.bytes ? ParseChunkIndex(*file.bytes, why) : std::nullopt;
      if (!parsed) {
        report_.kept = "the index " + Quoted(index.string()) + " cannot be read (" + why +
                       "), so no chunk was removed";
        return std::nullopt;
      }
      for (const ChunkEntry& chunk : parsed->chunks) listed.insert(HexOf(chunk.sha256));
    }
    return listed;
  }

  void RemoveChunksOutside(const std::set<std::string>& listed) {
    for (const std::string& folder : Names(serverDir_ / "chunks", 2)) {
      for (const std::string& sha256 : Names(serverDir_ / "chunks" / folder, 64)) {
        const fs::path chunk = serverDir_ / "chunks" / folder / sha256;
        const std::optional<std::int64_t> changed = ChangedAt(chunk);
        if (!listed.contains(sha256) && sha256.starts_with(folder) && changed && Aged(*changed)) {
          Remove(chunk, report_.chunks);
        }
      }
    }
  }

  void Remove(const fs::path& file, std::size_t& count) {
    std::error_code error;
    const std::uintmax_t size = fs::file_size(file, error);
    if (!error) fs::remove(file, error);
    if (error) {
      if (report_.kept.empty()) {
        report_.kept = "cannot remove " + Quoted(file.string()) + " (" + error.message() + ")";
      }
      return;
    }
    ++count;
    report_.bytes += size;
  }

  // The names in `folder` that are `digits` lowercase hex digits: the store's own files, never
  // a temporary one.
  static std::vector<std::string> Names(const fs::path& folder, std::size_t digits) {
    std::vector<std::string> names;
    std::error_code error;
    for (fs::directory_iterator entry(folder, error), end; !error && entry != end;
         entry.increment(error)) {
      const std::string name = entry->path().filename().string();
      if (name.size() == digits &&
          std::all_of(name.begin(), name.end(), [](char c) { return HexDigit(c) >= 0; })) {
        names.push_back(name);
      }
    }
    return names;
  }

  const fs::path serverDir_;
  const CleanupRule rule_;
  const std::int64_t now_;
  std::vector<PublishUse> uses_;
  CleanupReport report_;
};

}  // namespace

CleanupReport CleanChunkStore(const fs::path& serverDir,
                              const std::vector<std::string>& usedIndexes,
                              const CleanupRule& rule) {
  return Cleanup(serverDir, rule).Run(usedIndexes);
}
