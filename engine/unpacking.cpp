#include "engine/unpacking.h"

#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "engine/disk_reserve.h"
#include "engine/file_digests.h"
#include "engine/gzip_source.h"
#include "engine/package.h"
#include "engine/patch_run.h"
#include "engine/status_log.h"
#include "platform/file_names.h"
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

// A package left by an earlier run is checked quietly: that it no longer fits is no error.
// Of the failures of this run only the first is shown in boxes; the run's end names them all.
struct Reporting {
  bool quiet = false;
  void Gzip(const std::string& text) const {
    if (!quiet) platform::ShowAppMessage("Error in Minigzip: " + text);
  }
};

// Copies the member's content into `out`, digesting it on the way. Each problem is reported,
// and kept in `why`.
Unpacking GunzipToFile(GzipSource& in, platform::ReplacingFile& out, Digest& digest,
                       DiskReserve& reserve, const Reporting& report, std::string& why) {
  std::unique_ptr<char[]> buffer(new char[kUnpackBufferSize]);
  Md5Stream md5;
  Unpacking result = Unpacking::Done;
  for (;;) {
    int got = in.Read(buffer.get(), kUnpackBufferSize);
    // A package is gzip, or a web page in its place.
    if (in.NotGzip()) {
      why = "not a gzip package";
      result = Unpacking::BadData;
      break;
    }
    if (got < 0) {
      why = in.Failure();
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
Unpacking UnpackInto(const std::string& package, const std::string* inMemory,
                     const std::string& target, const FileDigests* entry, DiskReserve& reserve,
                     const Reporting& report, std::string& why) {
  std::unique_ptr<GzipSource> in = inMemory ? GzipInMemory(*inMemory) : OpenGzipFile(package);
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
  Unpacking result = GunzipToFile(*in, out, digest, reserve, report, why);
  if (!in->Close()) {
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

// A package that cannot install its file goes, and the file is fetched again next run.
void DropPackage(const std::string& package, FileDigests* entry) {
  platform::RemoveFile(package);
  if (entry != nullptr) entry->fetched = Digest{};
}

// The disk's reserve ends the stage: no other file would fit either.
Outcome FailTooFull(PatchRun& run, const std::string& package, const std::string& target,
                    FileDigests* entry, const DiskReserve& reserve) {
  DropPackage(package, entry);
  WriteStatusLog(run);
  Outcome tooFull = DiskFullFailure(run, target);
  platform::ShowAppMessage(reserve.TooFullMessage(target));
  return tooFull;
}

// The file of `key` is not installed in this run; the others go on.
void FailFile(PatchRun& run, const std::string& package, const std::string& key,
              const std::string& reason) {
  const bool first = run.fileFailures.empty();
  run.fileFailures.try_emplace(key, reason);
  if (!first) return;
  const std::string name = package.substr(package.rfind('\\') + 1);
  SetFailureReason(run.job, name + ": " + reason);
  platform::ShowMessage(name, "Error Decompress File", platform::kBoxOk, reason);
}

// A package is kept for a later run only when another program holds its target: anything
// else (a broken package, a folder in the way) would fail every later run too.
void FailUnpacking(PatchRun& run, const std::string& package, const std::string& key,
                   FileDigests* entry, Unpacking failure, const std::string& why) {
  const std::string target = key.substr(1);
  if (failure != Unpacking::CannotPlace || !platform::IsHeldByAnotherProgram(target)) {
    DropPackage(package, entry);
  }
  FailFile(run, package, key,
           failure == Unpacking::CannotPlace ? "cannot write " + target + ": " + why : why);
}

// Damage that a whole fetch may mend costs that fetch, once: the package goes, and the file
// is fetched again after this stage.
void FetchAgain(PatchRun& run, const std::string& package, const std::string& key,
                FileDigests& entry, const std::string& why) {
  DropPackage(package, &entry);
  entry.resumedThisRun = false;
  // A file already as listed needs no package: this one was left over.
  if (!IsZeroDigest(entry.listed) && entry.installed != entry.listed) {
    run.fetchAgain.insert_or_assign(key, why);
  }
}

// The listed or fetched files by the names of their packages.
std::map<std::string, std::string> KeysByPackage(const PatchRun& run) {
  std::map<std::string, std::string> keys;
  for (const auto& [key, digests] : run.files) {
    if (digests.fetchedThisRun || !IsZeroDigest(digests.listed)) {
      keys.emplace(PackageNameOf(key), key);
    }
  }
  return keys;
}

// The target that the trailer of a package names; none, with why, when it has no sound one.
// `held` tells a package that another program keeps from being opened; one `inMemory` is
// read where it stands.
std::optional<std::string> TargetOfWaitingPackage(const std::string& package,
                                                  const std::string* inMemory, bool& held,
                                                  std::string& why) {
  std::optional<std::string> target;
  if (inMemory) {
    target = TargetOfPackage(*inMemory);
  } else {
    platform::File file;
    held = !file.Open(package, platform::FileMode::Read, platform::FileShare::ReadWrite);
    if (held) {
      why = "another program holds " + package;
      return std::nullopt;
    }
    target = TargetOfPackage(file);
  }
  if (!target) why = "not a package: no trailer that names a file inside the game folder";
  return target;
}

// A package waiting in temp\ and what the run knows of it.
struct WaitingPackage {
  std::string package;           // temp\NAME.ppk
  std::string name;              // NAME.ppk
  std::string key;               // the listed file of that package name; empty for none
  FileDigests* entry = nullptr;  // that file's
  // The package's bytes when it arrived in memory: then nothing of it is in temp\.
  const std::string* inMemory = nullptr;
  bool fetchedThisRun() const { return entry != nullptr && entry->fetchedThisRun; }
  // Wrong bytes here may be no fault of the server's file: a part kept from before, or a
  // package an earlier run left, are fetched whole once more before the file fails.
  bool mendable() const {
    return entry != nullptr && (!entry->fetchedThisRun || entry->resumedThisRun);
  }
};

// The file that the waiting package installs: the listed file its name stands for, exactly
// (a sibling of the same package name, data.a.dat for data\a.dat, is another file); else,
// for a package no listed file owns, whatever file of that package name its trailer names.
std::optional<std::string> TargetOf(const WaitingPackage& waiting, bool& held, std::string& why) {
  std::optional<std::string> target =
      TargetOfWaitingPackage(waiting.package, waiting.inMemory, held, why);
  if (!target) return std::nullopt;
  if (!waiting.key.empty()) {
    const std::string path = waiting.key.substr(1);
    if (platform::ComparableName(*target) == platform::ComparableName(path)) return path;
    why = "its trailer names " + *target + ", not " + path;
    return std::nullopt;
  }
  if (PackageNameOf("\\" + *target) == waiting.name) return target;
  why = "its trailer names " + *target + ", another file";
  return std::nullopt;
}

// Unpacks one waiting package. A package fetched in this run that cannot install its file
// fails that file, loudly; one an earlier run left goes without a word. DiskFull when the
// disk's reserve ends the stage.
// `named`: the item text names the file unpacked; in a download stage it names the files
// that still move instead.
Outcome UnpackWaiting(PatchRun& run, const WaitingPackage& waiting, bool named) {
  DiskReserve& reserve = run.reserve;
  bool held = false;
  std::string why;
  const std::optional<std::string> target = TargetOf(waiting, held, why);
  if (held) {
    if (waiting.fetchedThisRun()) FailFile(run, waiting.package, waiting.key, why);
    return Outcome::GoOn();  // left for a later run
  }
  if (!target) {
    if (waiting.mendable()) {
      FetchAgain(run, waiting.package, waiting.key, *waiting.entry, why);
    } else if (waiting.fetchedThisRun()) {
      DropPackage(waiting.package, waiting.entry);
      FailFile(run, waiting.package, waiting.key, why);
    } else {
      platform::RemoveFile(waiting.package);
    }
    return Outcome::GoOn();
  }
  const std::string key = "\\" + *target;
  FileDigests* entry = waiting.entry != nullptr ? waiting.entry : run.files.Find(key);
  if (named) {
    CountStageItem(run.job, *target);
  } else {
    CountStageItem(run.job);
  }
  MakeFolders(*target);
  // Left for content the server has since dropped: the package goes.
  if (entry != nullptr && IsZeroDigest(entry->listed)) {
    DropPackage(waiting.package, entry);
    return Outcome::GoOn();
  }
  const Reporting report{waiting.mendable() || !run.fileFailures.empty() ||
                         !waiting.fetchedThisRun()};
  Unpacking result =
      UnpackInto(waiting.package, waiting.inMemory, *target, entry, reserve, report, why);
  if (result == Unpacking::TooFull) {
    return FailTooFull(run, waiting.package, *target, entry, reserve);
  }
  if (result == Unpacking::BadData && entry != nullptr && waiting.mendable()) {
    FetchAgain(run, waiting.package, key, *entry, why);
  } else if (result == Unpacking::BadData && !waiting.fetchedThisRun()) {
    platform::RemoveFile(waiting.package);
  } else if (result != Unpacking::Done) {
    FailUnpacking(run, waiting.package, key, entry, result, why);
  } else {
    // Also a package of the same name that an earlier run left in temp\, now outdated.
    platform::RemoveFile(waiting.package);
    if (entry != nullptr) {
      entry->installed = entry->listed;
      entry->stamp = platform::StampOf(*target);
    }
  }
  return Outcome::GoOn();
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

Outcome DecompressPackages(PatchRun& run) {
  BeginStage(run.job, ConfigText(run, "Msg", "Decompress", "Decompressing Files"));
  std::vector<platform::FoundEntry> found;
  platform::FindEntries("temp\\*.ppk", found);
  // Most runs leave nothing here: the map of every listed file is made only for what waits.
  const std::map<std::string, std::string> keys =
      found.empty() ? std::map<std::string, std::string>() : KeysByPackage(run);
  for (const platform::FoundEntry& match : found) {
    if (StopAsked(run)) break;
    if (match.folder) continue;
    const std::string package = "temp\\" + match.name;
    if (!package.ends_with(".ppk")) {
      platform::RemoveFile(package);
      continue;
    }
    WaitingPackage waiting{package, match.name, "", nullptr};
    if (auto key = keys.find(match.name); key != keys.end()) {
      waiting.key = key->second;
      waiting.entry = run.files.Find(key->second);
    }
    if (Outcome unpacked = UnpackWaiting(run, waiting, true); !unpacked) return unpacked;
  }
  if (!SaveStatusLog(run)) return Outcome::Failed();
  return StopAsked(run) ? Outcome::Stopped() : Outcome::GoOn();
}

Outcome UnpackFetched(PatchRun& run, const std::string& key, FileDigests& entry,
                      const std::string* inMemory) {
  const std::string name = PackageNameOf(key);
  return UnpackWaiting(run, WaitingPackage{"temp\\" + name, name, key, &entry, inMemory}, false);
}
