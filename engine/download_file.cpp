#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/disk_reserve.h"
#include "engine/http_connection.h"
#include "engine/partial_download.h"
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
  // Empty, also when it held something before.
  bool Create(const std::string& name) {
    buffer_.clear();
    buffer_.reserve(kBlockSize);
    size_ = 0;
    if (hash_) hash_.emplace();
    file_.Close();
    return file_.Open(name, platform::FileMode::Write);
  }
  // Goes on after the first `have` bytes of the file, which are hashed first when asked.
  bool Resume(const std::string& name, std::uint64_t have) {
    buffer_.reserve(kBlockSize);
    if (!file_.Open(name, platform::FileMode::ReadWrite)) return false;
    if (!hash_) {
      size_ = have;
      return file_.Seek(static_cast<std::int64_t>(have));
    }
    buffer_.resize(kBlockSize);
    while (size_ < have) {
      const std::int64_t read =
          file_.Read(buffer_.data(), std::min<std::uint64_t>(kBlockSize, have - size_));
      if (read <= 0) return false;
      hash_->Add(buffer_.data(), static_cast<std::size_t>(read));
      size_ += static_cast<std::uint64_t>(read);
    }
    buffer_.clear();
    return true;
  }
  std::uint64_t Size() const { return size_; }
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

// The box keeps its text; the reason goes where nothing relies on the exact words.
bool ReportFailure(PatchJob& job, const std::string& name, const std::string& reason) {
  SetFailureReason(job, name + ": " + reason);
  platform::ShowMessage(name, "Error Downloading File", platform::kBoxOk, reason);
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

// One request for the file, or for its rest when a part of it waits. The staging file is
// opened first (nothing is asked that could not be kept) and made to match what the answer
// holds. A range the server did not honour as asked costs a second request, for the whole
// file.
struct Opened {
  bool ok = false;
  std::uint64_t from = 0;              // where the body starts in the file
  std::optional<std::uint64_t> total;  // the whole file's length, when told
  std::int32_t available = 0;          // bytes at hand when the request opened
};

Opened OpenForBody(PatchJob& job, const std::string& name, const std::string& stagingName,
                   bool resumable, StagingFile& staging, std::string& reason) {
  const std::string part = PartName(stagingName);
  std::optional<PartialDownload> partial = resumable ? FindPartial(stagingName) : std::nullopt;
  if (partial ? !staging.Resume(part, partial->have) : !staging.Create(part)) {
    reason = "cannot write " + part;
    return {};
  }
  for (;;) {
    std::optional<platform::HttpRange> range;
    if (partial) range = platform::HttpRange{partial->have, partial->validator};
    const std::int32_t available = job.connection.OpenFile(name, range);
    const std::uint32_t status = job.connection.Status().value_or(0);
    if (available == -1 && !(partial && status == 416)) {
      reason = job.connection.failure();
      return {};
    }
    if (partial && status == 206 &&
        ContinuesPartial(job.connection.Header("Content-Range").value_or(""), *partial)) {
      return {true, partial->have, partial->total, available};
    }
    if (partial) {
      // The file changed, or the server answered another range: start from the first byte.
      partial.reset();
      DropPartial(stagingName);
      if (!staging.Create(part)) break;
      if (status != 200) {
        job.connection.CloseRequest();
        continue;
      }
    }
    const std::optional<std::uint64_t> length = job.connection.ContentLength();
    if (resumable && length) {
      TagPartial(
          stagingName, *length,
          ValidatorOf(job.connection.Header("ETag"), job.connection.Header("Last-Modified")));
    }
    return {true, 0, length, available};
  }
  job.connection.CloseRequest();
  reason = "cannot write " + part;
  return {};
}

}  // namespace

bool DownloadFile(PatchJob& job, const std::string& name, Arrival arrival) {
  const std::string stagingName = "temp\\" + name;
  // Only what is checked once whole may be put together from pieces of different requests.
  const bool resumable = arrival != Arrival::InPlace;
  DiskReserve reserve;
  std::string reason;
  for (int attempt = 1;; ++attempt) {
    StagingFile staging(reserve);
    if (MustMatchManifest(job, name)) {
      if (!job.manifest) return ReportFailure(job, name, "the signed release does not list it");
      staging.HashContent();
    }
    const Opened opened = OpenForBody(job, name, stagingName, resumable, staging, reason);
    if (!opened.ok) {
      staging.Finish(false);
      // A part that waited stays for the next attempt; an empty one is of no use.
      if (staging.Size() == 0) DropPartial(stagingName);
      return ReportFailure(job, name, reason);
    }
    // The item bar shows the file's share when the server told its length; otherwise the
    // bytes at hand when the request opened, which may be fewer than the file.
    BeginItem(job, name,
              opened.total && *opened.total <= INT32_MAX ? static_cast<std::int32_t>(*opened.total)
                                                         : opened.available);
    AddItemBytes(job, static_cast<std::uint32_t>(opened.from));
    const bool fits = !opened.total || reserve.Fits(*opened.total - opened.from);
    const Body body = fits ? ReceiveBody(job, staging) : Body::TooFull;
    const bool written = staging.Finish(arrival != Arrival::Staged);
    if (body == Body::Stopped) {
      // What arrived of a file that resumes waits for the next run; nothing else may stay.
      if (!resumable) DropPartial(stagingName);
      // The window need not wait for the close: WinINet reads the rest of the body first, to
      // keep the connection, and on a fast line that is the whole of a large package.
      job.stopTaken.store(true);
      job.connection.CloseRequest();
      return false;
    }
    reason = job.connection.failure();
    job.connection.CloseRequest();
    if (body == Body::TooFull || staging.TooFull()) {
      DropPartial(stagingName);
      job.diskFull = true;
      SetFailureReason(job, name + ": the disk is too full");
      platform::ShowAppMessage(reserve.TooFullMessage(name));
      return false;
    }
    if (body == Body::Broken && written && resumable && opened.total &&
        staging.Size() > opened.from && attempt < HttpConnection::kAttempts) {
      continue;  // it moved on: ask for the rest
    }
    if (body == Body::Broken || !written) {
      if (!resumable) DropPartial(stagingName);
      return ReportFailure(job, name, written ? reason : "cannot write " + PartName(stagingName));
    }
    if (MustMatchManifest(job, name) && !MatchesManifest(*job.manifest, name, staging.Written())) {
      DropPartial(stagingName);
      SetFailureReason(job, name + ": its size or SHA-256 is not the signed release's");
      platform::ShowAppMessage(name +
                               " is not the file the signed release lists (its size or "
                               "SHA-256 differs), so it was not used.");
      return false;
    }
    break;
  }

  // The complete file takes its name in one step, and for InPlace the old one's place: a copy
  // over it would leave it cut if the run ended halfway, and for patch.sys that loses the only
  // server address.
  const std::string& placed = arrival == Arrival::InPlace ? name : stagingName;
  if (!platform::MoveFileOver(PartName(stagingName), placed)) {
    DropPartial(stagingName);
    return ReportFailure(job, name, "cannot move it to " + placed);
  }
  DropPartial(stagingName);
  return true;
}
