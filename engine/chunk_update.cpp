#include "engine/chunk_update.h"

#include <atomic>
#include <cstdio>
#include <mutex>
#include <optional>
#include <set>

#include "engine/chunk_assembly.h"
#include "engine/chunk_index.h"
#include "engine/chunk_match.h"
#include "engine/file_digests.h"
#include "engine/hex.h"
#include "engine/memory_fetch.h"
#include "engine/patch_run.h"
#include "engine/release_check.h"
#include "engine/transfer_pool.h"
#include "platform/files.h"
#include "platform/replacing_file.h"

namespace {

// A smaller old copy is fetched whole: the index's request would cost about what it spares.
constexpr std::int64_t kWorthChunksFrom = 1 << 20;
// About 400,000 chunks: a file of some 25 GiB.
constexpr std::uint64_t kLargestIndex = 16 << 20;

// What a file's update by chunks costs and spares.
struct ChunkPlan {
  ChunkIndex index;
  OldChunks old;
  std::vector<std::size_t> toFetch;  // chunks of the index, each of another content
  std::uint64_t indexBytes = 0;
  std::uint64_t fetchBytes = 0;   // of their chunk files, with the index's
  std::uint64_t reusedBytes = 0;  // taken from the old copy
};

std::string Megabytes(std::uint64_t bytes, bool unit = true) {
  char text[32];
  std::snprintf(text, sizeof text, unit ? "%.1f MB" : "%.1f", static_cast<double>(bytes) / 1e6);
  return text;
}

// Worth an index's request: an old copy to take chunks from, and with a signed release an
// index that the release lists.
bool WorthTrying(const PatchRun& run, const std::string& key, const FileDigests& entry) {
  if (IsZeroDigest(entry.installed)) return false;
  const std::optional<platform::FileStamp> stamp = platform::StampOf(key.substr(1));
  if (!stamp || stamp->size < kWorthChunksFrom) return false;
  if (!run.inputs.releaseKey) return true;
  return run.manifest && run.manifest->files.contains(IndexNameOf(entry.listed));
}

// The file's index as the server holds it; none when it has none (why stays empty: a server
// without a chunk store is no fault), or it is not sound for the listed content. Its bytes
// are counted with the plan's.
std::optional<ChunkIndex> FetchIndex(PatchRun& run, const Digest& listed, std::uint64_t& bytes,
                                     std::string& why) {
  const std::string name = IndexNameOf(listed);
  const std::optional<std::string> text =
      FetchIntoMemory(run, run.connection, name, kLargestIndex, false, why);
  if (!text) {
    if (run.connection.Status() == 404u) why.clear();
    return std::nullopt;
  }
  bytes = text->size();
  if (run.inputs.releaseKey &&
      !MatchesManifest(*run.manifest, name, ManifestEntry{Sha256Of(*text), text->size()})) {
    why = name + " is not as the signed release lists it";
    return std::nullopt;
  }
  std::optional<ChunkIndex> index = ParseChunkIndex(*text, why);
  if (index && index->md5 != listed) why = name + " is the index of another file";
  if (!index || index->md5 != listed) return std::nullopt;
  return index;
}

// The chunks to fetch: of each content that neither the old copy nor temp\ holds, one.
void PlanFetches(ChunkPlan& plan, const std::string& folder) {
  std::set<platform::Sha256Digest> planned;
  for (std::size_t at = 0; at < plan.index.chunks.size(); ++at) {
    const ChunkEntry& entry = plan.index.chunks[at];
    if (plan.old[at]) {
      plan.reusedBytes += entry.size;
    } else if (planned.insert(entry.sha256).second &&
               !platform::PathExists(folder + "\\" + HexOf(entry.sha256))) {
      plan.toFetch.push_back(at);
      plan.fetchBytes += entry.stored;
    }
  }
}

// Chunks cost more than this share of the package, and it is fetched instead: the whole
// stored chunks stand for its size, as both hold the same content compressed alike.
bool CostsTooMuch(const ChunkPlan& plan) {
  std::uint64_t whole = 0;
  for (const ChunkEntry& entry : plan.index.chunks) whole += entry.stored;
  return plan.fetchBytes * 5 > whole * 3;
}

// What the file's update would cost: its index fetched, its old copy matched. None when the
// package is the better way, with what went wrong, if anything did, in `why`.
std::optional<ChunkPlan> PlanFile(PatchRun& run, const std::string& key, const Digest& listed,
                                  std::string& why) {
  const std::string target = key.substr(1);
  NameItem(run.job, target);
  ChunkPlan plan;
  std::optional<ChunkIndex> index = FetchIndex(run, listed, plan.indexBytes, why);
  if (!index) return std::nullopt;
  plan.index = std::move(*index);
  std::optional<OldChunks> old = FindOldChunks(run, target, plan.index, why);
  if (!old) return std::nullopt;
  plan.old = std::move(*old);
  PlanFetches(plan, ChunkFolderOf(key));
  plan.fetchBytes += plan.indexBytes;
  if (CostsTooMuch(plan)) return std::nullopt;
  return plan;
}

// Why a chunk could not be had.
struct ChunkFailure {
  std::string why;
  // The network failed, not the chunk store: what arrived stays for the next run.
  bool keepChunks = false;
};

// Every chunk the plan fetches, into `folder`; the first failure, when one could not be had.
std::optional<ChunkFailure> FetchChunks(PatchRun& run, const ChunkPlan& plan,
                                        const std::string& folder) {
  std::mutex lock;
  std::optional<ChunkFailure> failure;
  std::atomic<bool> failed{false};
  auto fail = [&](const std::string& why, bool keepChunks = false) {
    std::lock_guard<std::mutex> hold(lock);
    if (!failure) failure = ChunkFailure{why, keepChunks};
    failed = true;
  };
  auto fetch = [&](HttpConnection& connection, std::size_t item,
                   const std::function<bool()>&) -> std::optional<Fetched> {
    if (failed) return Fetched{};  // the package comes instead: nothing more to fetch
    const ChunkEntry& entry = plan.index.chunks[plan.toFetch[item]];
    const std::string name = ChunkNameOf(entry.sha256);
    std::string why;
    const std::optional<std::string> stored =
        FetchIntoMemory(run, connection, name, entry.stored, true, why);
    if (!stored && StopAsked(run)) {
      Fetched stopped;
      stopped.outcome = Outcome::Stopped();
      return stopped;
    }
    if (!stored) {
      // No answer, or a body that broke off: the store may well hold it.
      fail(name + ": " + why, !connection.Status() || *connection.Status() == 200u);
      return Fetched{};
    }
    std::optional<std::string> chunk = DecodeChunk(*stored, entry, why);
    if (!chunk) {
      fail(name + ": " + why);
      return Fetched{};
    }
    const std::string placed = folder + "\\" + HexOf(entry.sha256);
    platform::ReplacingFile file(placed, placed + ".part");
    if (!run.reserve.Take(chunk->size())) {
      fail("the disk is too full");
    } else if (!file.Write(*chunk) || !file.Commit(platform::ReplacingFile::Flush::LeaveToSystem)) {
      fail("cannot write " + placed + ": " + file.failure());
    }
    return Fetched{};
  };
  auto take = [](std::size_t, Fetched&) { return Outcome::GoOn(); };
  RunTransfers(run, plan.toFetch.size(), fetch, take);
  return failure;
}

void RemoveChunkFolder(const std::string& folder) {
  std::vector<platform::FoundEntry> found;
  platform::FindEntries(folder + "\\*", found);
  for (const platform::FoundEntry& entry : found) platform::RemoveFile(folder + "\\" + entry.name);
  platform::RemoveFolder(folder);
}

struct PlannedFile {
  std::string key;
  ChunkPlan plan;
};

enum class ByChunks { Installed, ByPackage, ByPackageKeepingChunks, Stopped };

// Fetches what the plan lacks and puts the new file together. ByPackage keeps in `why` what
// went wrong.
ByChunks UpdateFile(PatchRun& run, const PlannedFile& planned, FileDigests& entry,
                    std::string& why) {
  const std::string target = planned.key.substr(1);
  const std::string folder = ChunkFolderOf(planned.key);
  // Short, as the window's item line is: the note has the whole of it.
  NameItem(run.job, target + ": " + Megabytes(planned.plan.fetchBytes, false) + " of " +
                        Megabytes(planned.plan.index.size));
  platform::CreateFolder("temp");
  platform::CreateFolder(folder);
  if (std::optional<ChunkFailure> failure = FetchChunks(run, planned.plan, folder)) {
    why = failure->why;
    return failure->keepChunks ? ByChunks::ByPackageKeepingChunks : ByChunks::ByPackage;
  }
  if (StopAsked(run)) return ByChunks::Stopped;  // what arrived waits for the next run
  const ChunkPlan& plan = planned.plan;
  if (!AssembleFromChunks(run, target, plan.index, plan.old, folder, why)) {
    return ByChunks::ByPackage;
  }
  RemoveChunkFolder(folder);
  entry.installed = entry.listed;
  entry.stamp = platform::StampOf(target);
  CountStageItem(run.job);
  return ByChunks::Installed;
}

// The file comes by its package after all. An operator learns why a mirror's chunk store did
// not serve. Chunks kept for it are of no more use, unless the network failed: then the
// package will likely fail too, and the next run takes up the chunks where this one ended.
void FallBack(PatchRun& run, const std::string& key, const std::string& why, PackagesLeft& left,
              bool keepChunks = false) {
  if (!why.empty()) TellNote(run, key.substr(1) + ": fetched whole, since " + why);
  if (!keepChunks) RemoveChunkFolder(ChunkFolderOf(key));
  left.keys.push_back(key);
}

// Chunks that wait in temp\ for a file this run does not fetch: its package brought it
// after a run that ended while the network was down, or a release since has it as it was.
void RemoveStaleChunks(const std::vector<std::string>& keys) {
  std::vector<platform::FoundEntry> found;
  platform::FindEntries("temp\\*.chunks", found);
  if (found.empty()) return;
  std::set<std::string> wanted;
  for (const std::string& key : keys) wanted.insert(ChunkFolderOf(key));
  for (const platform::FoundEntry& entry : found) {
    const std::string folder = "temp\\" + entry.name;
    if (entry.folder && !entry.link && !wanted.contains(folder)) RemoveChunkFolder(folder);
  }
}

// Every plan first, so that the stage's total holds every byte to come before the first:
// the chunks, the indexes (which arrived already) and with a signed release the packages.
std::vector<PlannedFile> PlanFiles(PatchRun& run, const std::vector<std::string>& keys,
                                   PackagesLeft& left) {
  std::vector<PlannedFile> planned;
  for (const std::string& key : keys) {
    const FileDigests& entry = *run.files.Find(key);
    if (StopAsked(run) || !WorthTrying(run, key, entry)) {
      left.keys.push_back(key);
      continue;
    }
    std::string why;
    std::optional<ChunkPlan> plan = PlanFile(run, key, entry.listed, why);
    if (StopAsked(run)) {
      left.keys.push_back(key);
    } else if (!plan) {
      FallBack(run, key, why, left);
    } else {
      TellNote(run, key.substr(1) + ": " + Megabytes(plan->fetchBytes) + " to fetch, " +
                        Megabytes(plan->reusedBytes) + " reused");
      planned.push_back({key, std::move(*plan)});
    }
  }
  for (const PlannedFile& file : planned) {
    AddBytesToFetch(run.job, file.plan.fetchBytes);
    AddBytesFetched(run.job, file.plan.indexBytes);
  }
  if (CountSignedPackageSizes(run, left.keys)) left.sizes = PackageSizes::CountedBefore;
  return planned;
}

}  // namespace

PackagesLeft UpdateByChunks(PatchRun& run, const std::vector<std::string>& keys) {
  RemoveStaleChunks(keys);
  PackagesLeft left;
  for (const PlannedFile& planned : PlanFiles(run, keys, left)) {
    FileDigests& entry = *run.files.Find(planned.key);
    std::string why;
    const ByChunks done = StopAsked(run) ? ByChunks::Stopped : UpdateFile(run, planned, entry, why);
    if (done == ByChunks::Stopped) {
      left.keys.push_back(planned.key);  // a stop: no package is fetched either
    } else if (done != ByChunks::Installed) {
      FallBack(run, planned.key, why, left, done == ByChunks::ByPackageKeepingChunks);
      // Its bytes join a total counted before: grown, it is no longer taken as final.
      if (left.sizes == PackageSizes::CountedBefore) CountSignedPackageSizes(run, {planned.key});
    }
  }
  return left;
}
