#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/disk_reserve.h"
#include "engine/http_connection.h"
#include "engine/patch_job.h"
#include "engine/release_check.h"
#include "platform/files.h"
#include "platform/prompt.h"

namespace {

constexpr std::uint32_t kChunkSize = 512;

// The staging file, written in large blocks: the server hands over 512 bytes at a time, and
// a system call for each would cost more than the transfer. No block is written that would
// take the disk's reserve. When asked, it hashes the blocks as they go to the disk.
class StagingFile {
 public:
  explicit StagingFile(DiskReserve& reserve) : reserve_(reserve) {}
  void HashContent() { hash_.emplace(); }
  // What was written, for a manifest's line; hashed only after HashContent.
  ManifestEntry Written() {
    return ManifestEntry{hash_ ? hash_->Finish() : platform::Sha256Digest{}, size_};
  }
  bool Create(const std::string& name) {
    buffer_.reserve(kBlockSize);
    return file_.Open(name, platform::FileMode::Write);
  }
  bool Append(const char* bytes, std::size_t count) {
    buffer_.insert(buffer_.end(), bytes, bytes + count);
    return buffer_.size() < kBlockSize || Flush();
  }
  bool TooFull() const { return tooFull_; }
  bool Finish(bool toDisk) {
    bool written = Flush() && (!toDisk || file_.FlushToDisk());
    return file_.Close() && written;
  }

 private:
  static constexpr std::size_t kBlockSize = 64 * 1024;
  bool Flush() {
    if (buffer_.empty()) return true;
    tooFull_ = !reserve_.Take(buffer_.size());
    bool written = !tooFull_ && file_.Write(buffer_.data(), buffer_.size());
    if (hash_) hash_->Add(buffer_.data(), buffer_.size());
    size_ += buffer_.size();
    buffer_.clear();
    return written;
  }
  DiskReserve& reserve_;
  platform::File file_;
  std::vector<char> buffer_;
  bool tooFull_ = false;
  std::optional<platform::Sha256> hash_;
  std::uint64_t size_ = 0;
};

bool ReportFailure(const std::string& name) {
  platform::ShowMessage(name, "Error Downloading File", platform::kBoxOk);
  return false;
}

// With a release key every file but the signed manifest itself is checked against that
// manifest, which the run fetches first.
bool MustMatchManifest(const PatchJob& job, const std::string& name) {
  return job.releaseKey && name != kManifestName;
}

enum class Body { Complete, Broken, TooFull, Stopped };

// Reads the open request's body to its end. A stop is looked for before every read: a quit
// in the middle of a large package must not wait for the rest of it.
Body ReceiveBody(PatchJob& job, StagingFile& staging) {
  char chunk[kChunkSize];
  for (;;) {
    if (CurrentState(job) == PatchState::Stop) return Body::Stopped;
    std::uint32_t available = 0;
    std::uint32_t read = 0;
    if (!job.connection.QueryDataAvailable(available) ||
        !job.connection.ReadFile(chunk, kChunkSize, read)) {
      return Body::Broken;
    }
    if (!staging.Append(chunk, read)) return staging.TooFull() ? Body::TooFull : Body::Broken;
    AddItemBytes(job, read);
    if (read == 0) return Body::Complete;
  }
}

}  // namespace

bool DownloadFile(PatchJob& job, const std::string& name, Arrival arrival) {
  std::string stagingName = "temp\\";
  stagingName += name;
  DiskReserve reserve;
  StagingFile staging(reserve);
  if (MustMatchManifest(job, name)) {
    if (!job.manifest) return ReportFailure(name);
    staging.HashContent();
  }
  if (!staging.Create(stagingName)) return ReportFailure(name);

  std::int32_t available = job.connection.OpenFile(name);
  if (available == -1) {
    staging.Finish(false);
    return ReportFailure(name);
  }
  std::optional<std::uint64_t> length = job.connection.ContentLength();
  // The item bar shows the file's share when the server told its length; otherwise the
  // bytes at hand when the request opened, which may be fewer than the file.
  BeginItem(job, name,
            length && *length <= INT32_MAX ? static_cast<std::int32_t>(*length) : available);
  const Body body = length && !reserve.Fits(*length) ? Body::TooFull : ReceiveBody(job, staging);
  const bool written = staging.Finish(arrival != Arrival::Staged);
  if (body == Body::Stopped) {
    // No part of a package may wait in temp\, where the unpacking takes whatever it finds.
    platform::RemoveFile(stagingName);
    // The window need not wait for the close: WinINet reads the rest of the body first, to
    // keep the connection, and on a fast line that is the whole of a large package.
    job.stopTaken.store(true);
    job.connection.CloseRequest();
    return false;
  }
  job.connection.CloseRequest();
  if (body == Body::TooFull) {
    platform::RemoveFile(stagingName);
    platform::ShowAppMessage(reserve.TooFullMessage(name));
    return false;
  }
  if (body == Body::Broken || !written) return ReportFailure(name);
  if (MustMatchManifest(job, name) && !MatchesManifest(*job.manifest, name, staging.Written())) {
    platform::RemoveFile(stagingName);
    platform::ShowAppMessage(name +
                             " is not the file the signed release lists (its size or "
                             "SHA-256 differs), so it was not used.");
    return false;
  }

  // The complete file takes the old one's place in one step: a copy over it would leave it
  // cut if the run ended halfway, and for patch.sys that loses the only server address.
  if (arrival == Arrival::InPlace && !platform::MoveFileOver(stagingName, name)) {
    return ReportFailure(name);
  }
  return true;
}
