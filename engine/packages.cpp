#include "engine/packages.h"

#include <zlib.h>

#include <memory>
#include <optional>
#include <vector>

#include "engine/disk_reserve.h"
#include "engine/file_digests.h"
#include "engine/package.h"
#include "engine/patch_job.h"
#include "engine/status_log.h"
#include "platform/files.h"
#include "platform/prompt.h"
#include "platform/replacing_file.h"

namespace {

constexpr std::size_t kUnpackBufferSize = 16384;

enum class Unpacking {
  Done,
  BadData,      // the package itself is broken: fetch it again
  CannotPlace,  // the target could not be written or replaced: try the package again later
  TooFull,      // the content would take the disk's reserve
};

struct GzipCloser {
  void operator()(gzFile file) const { gzclose(file); }
};

// A package left by an earlier run is checked quietly: that it no longer fits is no error.
struct Reporting {
  bool quiet = false;
  void Gzip(const std::string& text) const {
    if (!quiet) platform::ShowAppMessage("Error in Minigzip: " + text);
  }
};

// Copies the member's content into `out`, digesting it on the way. Each problem is reported,
// and kept in `why`.
Unpacking GunzipToFile(gzFile in, platform::ReplacingFile& out, Digest& digest,
                       DiskReserve& reserve, const Reporting& report, std::string& why) {
  std::unique_ptr<char[]> buffer(new char[kUnpackBufferSize]);
  Md5Stream md5;
  Unpacking result = Unpacking::Done;
  for (;;) {
    int got = gzread(in, buffer.get(), kUnpackBufferSize);
    if (got < 0) {
      int code = 0;
      why = gzerror(in, &code);
      report.Gzip(why);
      why = "not a sound gzip package: " + why;
      result = Unpacking::BadData;
      break;
    }
    if (got == 0) break;
    // A small package may inflate to more than any disk holds.
    if (!reserve.Take(static_cast<std::size_t>(got))) {
      result = Unpacking::TooFull;
      break;
    }
    if (!out.Write(buffer.get(), static_cast<std::size_t>(got))) {
      report.Gzip("failed fwrite");
      why = out.failure();
      result = Unpacking::CannotPlace;
      break;
    }
    md5.Add(buffer.get(), static_cast<std::size_t>(got));
  }
  digest = md5.Finish();
  return result;
}

// Unpacks beside the target and replaces the target only with a whole, verified file.
Unpacking UnpackInto(const std::string& package, const std::string& target,
                     const FileDigests* entry, DiskReserve& reserve, const Reporting& report,
                     std::string& why) {
  std::unique_ptr<gzFile_s, GzipCloser> in(gzopen(platform::SystemPath(package).c_str(), "rb"));
  if (!in) {
    why = "the package cannot be opened";
    return Unpacking::CannotPlace;
  }
  platform::ReplacingFile out(target, target + ".unpacking");
  if (out.failed()) {
    why = out.failure();
    return Unpacking::CannotPlace;
  }
  Digest digest;
  Unpacking result = GunzipToFile(in.get(), out, digest, reserve, report, why);
  if (gzclose(in.release()) != Z_OK) {
    report.Gzip("failed gzclose");
    if (result == Unpacking::Done) {
      why = "not a sound gzip package";
      result = Unpacking::BadData;
    }
  }
  if (result == Unpacking::Done && entry != nullptr && !IsZeroDigest(entry->listed) &&
      digest != entry->listed) {
    why = "what it holds is not the listed file (its MD5 differs)";
    result = Unpacking::BadData;
  }
  // Not flushed: a game file lost to a power cut changes its size and time, so the next run
  // digests it again, and one flush per file would slow a first install of many files.
  if (result == Unpacking::Done && !out.Commit(platform::ReplacingFile::Flush::LeaveToSystem)) {
    why = out.failure();
    result = Unpacking::CannotPlace;
  }
  return result;
}

// A package is kept for a later run only when another program holds its target: anything
// else (a broken package, a folder in the way, a full disk) would fail every later run too.
bool FailUnpacking(PatchJob& job, const std::string& package, const std::string& target,
                   FileDigests* entry, Unpacking failure, const DiskReserve& reserve,
                   const std::string& why) {
  const std::string name = package.substr(package.rfind('\\') + 1);
  if (failure != Unpacking::CannotPlace || !platform::IsHeldByAnotherProgram(target)) {
    platform::RemoveFile(package);
    if (entry != nullptr) entry->fetched = Digest{};
  }
  WriteStatusLog(job);
  if (failure == Unpacking::TooFull) {
    SetFailureReason(job, target + ": the disk is too full");
    platform::ShowAppMessage(reserve.TooFullMessage(target));
  } else {
    const std::string reason =
        failure == Unpacking::CannotPlace ? "cannot write " + target + ": " + why : why;
    SetFailureReason(job, name + ": " + reason);
    platform::ShowMessage(name, "Error Decompress File", platform::kBoxOk, reason);
  }
  SetState(job, PatchState::Failed);
  return false;
}

bool FetchedThisRunAs(const PatchJob& job, const std::string& packageName) {
  for (const auto& [key, digests] : job.files) {
    if (digests.fetchedThisRun && PackageNameOf(key) == packageName) return true;
  }
  return false;
}

void DropLeftOver(const std::string& package, FileDigests& entry) {
  platform::RemoveFile(package);
  entry.fetched = Digest{};
}

}  // namespace

void MakeFolders(const std::string& target) {
  std::string path;
  for (std::size_t start = 0;;) {
    std::size_t end = target.find('\\', start);
    if (end == std::string::npos) return;  // the rest is the file's own name
    if (end > start) {
      path.append(target, start, end - start);
      path += '\\';
      if (!platform::PathExists(path) && !platform::CreateFolder(path)) {
        platform::ShowAppMessage("Cannot create directory.\n" + path,
                                 platform::kBoxOk | platform::kBoxIconExclamation);
      }
    }
    start = end + 1;
  }
}

bool DecompressPackages(PatchJob& job) {
  BeginStage(job, ConfigText(job, "Msg", "Decompress", "Decompressing Files"));
  std::vector<platform::FoundEntry> found;
  platform::FindEntries("temp\\*.ppk", found);
  DiskReserve reserve;
  for (const platform::FoundEntry& match : found) {
    if (CurrentState(job) == PatchState::Stop) break;
    if (match.folder) continue;
    const std::string package = "temp\\" + match.name;
    if (!package.ends_with(".ppk")) {
      platform::RemoveFile(package);
      continue;
    }
    platform::File file;
    if (!file.Open(package, platform::FileMode::Read, platform::FileShare::ReadWrite)) {
      continue;  // held by another program: left for a later run
    }
    std::optional<std::string> target = TargetOfPackage(file);
    file.Close();
    if (!target) {
      platform::RemoveFile(package);
      continue;
    }
    // A package installs only the file it was fetched for: one whose trailer names another
    // (a user's settings, say) is refused.
    if (PackageNameOf("\\" + *target) != match.name) {
      if (FetchedThisRunAs(job, match.name)) {
        return FailUnpacking(job, package, *target, nullptr, Unpacking::BadData, reserve,
                             "its trailer names " + *target + ", another file");
      }
      platform::RemoveFile(package);
      continue;
    }
    CountStageItem(job, *target);
    MakeFolders(*target);
    FileDigests* entry = job.files.Find("\\" + *target);
    // Left by an earlier run for content the server has since replaced or dropped: it goes,
    // and the download fetches what is listed now.
    const bool leftOver = entry != nullptr && !entry->fetchedThisRun;
    if (leftOver && IsZeroDigest(entry->listed)) {
      DropLeftOver(package, *entry);
      continue;
    }
    std::string why;
    Unpacking result = UnpackInto(package, *target, entry, reserve, Reporting{leftOver}, why);
    if (result == Unpacking::BadData && leftOver) {
      DropLeftOver(package, *entry);
      continue;
    }
    if (result != Unpacking::Done) {
      return FailUnpacking(job, package, *target, entry, result, reserve, why);
    }
    platform::RemoveFile(package);
    if (entry != nullptr) {
      entry->installed = entry->listed;
      entry->stamp = platform::StampOf(*target);
    }
  }
  if (!SaveStatusLog(job)) return false;
  return CurrentState(job) != PatchState::Stop;
}

bool SaveAndUnpackFetched(PatchJob& job) {
  if (!SaveStatusLog(job)) return false;
  if (CurrentState(job) == PatchState::Stop) return false;
  if (DecompressPackages(job)) return true;
  SetState(job, PatchState::Failed);
  return false;
}
