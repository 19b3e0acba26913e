#include "engine/status_log.h"

#include "engine/file_stamps.h"
#include "engine/patch_run.h"
#include "platform/prompt.h"
#include "platform/replacing_file.h"

namespace {

constexpr std::size_t kHeaderSize = 24;
constexpr std::size_t kFetchedAt = 4;
constexpr std::size_t kInstalledAt = 20;
constexpr std::size_t kKeyAt = 36;

// Whole under this name first, so that a crash while saving leaves the previous file.
std::string SavingName(const char* name) { return std::string(name) + ".new"; }

bool SameAsSaved(const PatchRun& run) {
  if (!run.savedFiles || run.savedFiles->size() != run.files.size()) return false;
  auto saved = run.savedFiles->begin();
  for (const auto& [key, digests] : run.files) {
    if (saved->installed != digests.installed || saved->fetched != digests.fetched ||
        saved->stamp != digests.stamp) {
      return false;
    }
    ++saved;
  }
  return true;
}

// WriteStatusLog, saying in `why` what kept the log from being saved.
bool Save(PatchRun& run, std::string& why) {
  if (SameAsSaved(run)) return true;
  platform::ReplacingFile log(kStatusLogName, SavingName(kStatusLogName));
  if (!log.Write(StatusLogBytes(run.files))) {
    why = log.failure();
    return false;
  }
  platform::ReplacingFile stamps(kStampsName, SavingName(kStampsName));
  const bool stampsWritten = stamps.Write(StampsBytes(run.files));
  // Any pair of an old and a new file is sound, as the stamps vouch only for the digests
  // they were taken with: a crash between the two moves costs digests, never a missed change.
  if (!log.Commit()) {
    why = log.failure();
    return false;
  }
  if (stampsWritten && stamps.Commit()) {
    RememberSavedFiles(run);
  } else {
    run.savedFiles.reset();  // so that the next save tries the stamps again
  }
  return true;
}

}  // namespace

std::string StatusLogBytes(const FileDigestMap& files) {
  std::size_t size = kHeaderSize;
  for (const auto& [key, digests] : files) size += kKeyAt + key.size() + 2;
  std::string bytes;
  bytes.reserve(size);
  bytes.assign(kHeaderSize, '\0');
  for (const auto& [key, digests] : files) {
    bytes.append(4, '\0');
    AppendDigest(bytes, digests.fetched);
    AppendDigest(bytes, digests.installed);
    bytes += key;
    bytes += "\r\n";
  }
  return bytes;
}

void ReadStatusLog(std::string_view bytes, FileDigestMap& files) {
  auto next = files.begin();
  for (std::size_t record = kHeaderSize; record < bytes.size();) {
    if (bytes.size() - record < kKeyAt) return;
    std::size_t keyEnd = bytes.find_first_of("\r\n", record + kKeyAt);
    if (keyEnd == std::string_view::npos || keyEnd + 2 > bytes.size()) return;  // cut short
    std::string_view key = bytes.substr(record + kKeyAt, keyEnd - record - kKeyAt);
    if (!key.empty() && key.find('\0') == std::string_view::npos) {
      FileDigests& entry = files.FindOrAddInOrder(std::string(key), next);
      // The record holds its 36 bytes before the key, so both digests are there.
      entry.fetched = *DigestAt(bytes, record + kFetchedAt);
      entry.installed = *DigestAt(bytes, record + kInstalledAt);
      entry.listed = Digest{};
    }
    record = keyEnd + 2;
  }
}

void RememberSavedFiles(PatchRun& run) {
  run.savedFiles.emplace();
  run.savedFiles->reserve(run.files.size());
  for (const auto& [key, digests] : run.files) run.savedFiles->push_back(digests);
}

bool WriteStatusLog(PatchRun& run) {
  std::string ignored;
  return Save(run, ignored);
}

bool SaveStatusLog(PatchRun& run) {
  std::string why;
  if (Save(run, why)) return true;
  platform::ShowAppMessage(std::string("Cannot save ") + kStatusLogName + " in the game folder (" +
                           why + "), so the run cannot go on.");
  return false;
}
