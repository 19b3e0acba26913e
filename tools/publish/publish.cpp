#include "tools/publish/publish.h"

#include <filesystem>
#include <optional>
#include <set>
#include <vector>

#include "engine/file_digests.h"
#include "engine/file_list.h"
#include "engine/pserv_log.h"
#include "tools/publish/chunk_cleanup.h"
#include "tools/publish/chunk_store.h"
#include "tools/publish/gzip_package.h"
#include "tools/publish/input_files.h"
#include "tools/publish/previous_publish.h"
#include "tools/publish/publish_error.h"
#include "tools/publish/release_files.h"
#include "tools/publish/release_names.h"
#include "tools/publish/release_signing.h"
#include "tools/publish/served_file.h"
#include "tools/publish/server_settings.h"

namespace fs = std::filesystem;

namespace {

// Its files would be published with the release, the half-written ones among them.
void RefuseServerInsideRelease(const PublishOptions& options) {
  if (IsWithin(fs::weakly_canonical(options.releaseDir), fs::weakly_canonical(options.serverDir))) {
    throw PublishError("the server folder " + Quoted(options.serverDir.string()) +
                       " is inside the release folder; nothing was written");
  }
}

// Packs the file unless the server already holds its package for this content, and cuts a
// large one into chunks unless the server holds them. Its entry for filelist.log either way.
ListedFile PublishFile(const ReleaseFile& file, const PublishOptions& options,
                       PreviousPublish& previous, ChunkStore& chunks,
                       std::vector<std::string>& indexes, PublishSummary& summary) {
  platform::File source = OpenForReading(file.path);
  const Digest digest = DigestOfOpenFile(source, file.path);
  const std::optional<std::int64_t> length = source.Length();
  if (!length) throw PublishError("cannot read " + Quoted(ShownName(file.key)));
  if (static_cast<std::uint64_t>(*length) >= kChunkedFrom) {
    indexes.push_back(chunks.Add(source, file.key, digest));
  }
  if (previous.HoldsPackage(file.key, digest)) {
    ++summary.packagesKept;
    return ListedFile{file.key, digest};
  }
  ServedFile package(options.serverDir, PackageNameOf(file.key));
  const PackedContent packed = WritePackage(source, file.key, options.level, package);
  // The list would give a digest that the package's content does not have.
  if (packed.digest != digest) {
    throw PublishError(Quoted(ShownName(file.key)) +
                       " changed while it was being published; publish again once it is complete");
  }
  package.Commit();
  ++summary.packagesWritten;
  summary.bytesIn += packed.size;
  summary.bytesOut += package.size();
  return ListedFile{file.key, digest};
}

// filelist.log names every package and pserv.log announces the list: each goes to disk only
// after all that it names.
void WriteLists(const PublishOptions& options, const std::vector<ListedFile>& listed,
                const Digest& patcher) {
  SyncFolder(options.serverDir);
  const std::string fileList = FileListBytes(listed);
  ReplaceFile(options.serverDir, "filelist.log", fileList);
  SyncFolder(options.serverDir);
  ReplaceFile(options.serverDir, "pserv.log",
              PservLogBytes(DigestOfBytes(fileList), patcher, options.servers));
  SyncFolder(options.serverDir);
}

// Every file of the server folder that this release publishes and a patcher may fetch. A
// chunk is proven by its name, which is its SHA-256.
std::vector<std::string> PublishedNames(const fs::path& serverDir,
                                        const std::vector<ListedFile>& listed,
                                        const std::vector<std::string>& indexes) {
  std::vector<std::string> names;
  for (const char* name : {"filelist.log", "latest.ver", "lock.ftp", "patch.sys", "pserv.log",
                           "remote.ver", "veldra.exe"}) {
    if (fs::is_regular_file(serverDir / name)) names.push_back(name);
  }
  for (const ListedFile& file : listed) names.push_back(PackageNameOf(file.key));
  names.insert(names.end(), indexes.begin(), indexes.end());
  return names;
}

std::size_t CountStalePackages(const fs::path& serverDir, const std::vector<ReleaseFile>& files) {
  std::set<std::string> current;
  for (const ReleaseFile& file : files) current.insert(PackageNameOf(file.key));
  std::size_t stale = 0;
  for (const fs::directory_entry& entry : fs::directory_iterator(serverDir)) {
    const std::string name = entry.path().filename().string();
    if (entry.is_regular_file() && name.ends_with(".ppk") && !current.contains(name)) ++stale;
  }
  return stale;
}

}  // namespace

PublishSummary Publish(const PublishOptions& options, const ProgressReport& progress) {
  RefuseServerInsideRelease(options);
  const std::vector<ReleaseFile> files = ListReleaseFiles(options.releaseDir);
  const std::optional<std::string> patcher =
      options.exe ? std::optional(ReadWhole(*options.exe)) : std::nullopt;
  const std::optional<std::string> patchSys =
      options.patchSys ? std::optional(ReadWhole(*options.patchSys)) : std::nullopt;
  const std::unique_ptr<SigningKey> signingKey =
      options.signKey ? std::make_unique<SigningKey>(*options.signKey) : nullptr;
  // Known before anything is written: a folder whose number cannot be had is left alone.
  const std::uint64_t release = signingKey ? NextReleaseNumber(options.serverDir, *signingKey) : 0;

  fs::create_directories(options.serverDir);
  // Clients stay away before the first package changes, and until the last file is in place.
  if (options.maintenance == Maintenance::On) SetMaintenance(options.serverDir, Maintenance::On);
  PreviousPublish previous(options.serverDir);
  PublishSummary summary;
  summary.files = files.size();
  ChunkStore chunks(options.serverDir);
  std::vector<ListedFile> listed;
  std::vector<std::string> indexes;
  for (std::size_t at = 0; at < files.size(); ++at) {
    progress(at + 1, files.size(), files[at].key);
    listed.push_back(PublishFile(files[at], options, previous, chunks, indexes, summary));
  }
  chunks.Finish();
  summary.chunks = chunks.work();
  WriteServerSettings(options, patchSys, patcher);
  WriteLists(options, listed, patcher ? DigestOfBytes(*patcher) : Digest{});
  if (signingKey) {
    SignRelease(options.serverDir, PublishedNames(options.serverDir, listed, indexes), *signingKey,
                release);
  }
  if (options.maintenance == Maintenance::Off) SetMaintenance(options.serverDir, Maintenance::Off);
  summary.removed = CleanChunkStore(options.serverDir, indexes,
                                    CleanupRule{options.keptPublishes, options.grace});
  summary.stalePackages = CountStalePackages(options.serverDir, files);
  return summary;
}
