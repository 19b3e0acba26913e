#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/md5.h"
#include "platform/files.h"

struct PatchJob;

// What the patcher knows of one game file. A digest of 16 zero bytes means "none".
struct FileDigests {
  Digest installed{};  // of the file on disk
  Digest fetched{};    // of the content whose package waits in temp\; else equal to installed
  Digest listed{};     // what the server's filelist.log gives for the file
  // Size and write time of the file when `installed` was taken from it; none when unknown.
  std::optional<platform::FileStamp> stamp;
  // Its package came in this run; never saved. One left by an earlier run may be stale.
  bool fetchedThisRun = false;
};

// Game files by key: the path below the game folder with a leading backslash and backslash
// separators (\data\maps\a.dat). Keys compare as byte strings, so case matters; the map is
// walked in that order. Entries are never removed.
class FileDigestMap {
 public:
  using Entries = std::map<std::string, FileDigests>;

  // The entry for `key`, added with zero digests if it was not there.
  FileDigests& FindOrAdd(const std::string& key) { return entries_[key]; }
  // The same for keys read in key order, as the lists and logs hold them: `next` is the place
  // after the previous key's entry (begin() at first), and is moved on. Out of order costs
  // only the search FindOrAdd makes.
  FileDigests& FindOrAddInOrder(const std::string& key, Entries::iterator& next) {
    auto entry = entries_.try_emplace(next, key);
    next = std::next(entry);
    return entry->second;
  }
  FileDigests* Find(const std::string& key);
  std::size_t size() const { return entries_.size(); }
  bool empty() const { return entries_.empty(); }
  Entries::iterator begin() { return entries_.begin(); }
  Entries::iterator end() { return entries_.end(); }
  Entries::const_iterator begin() const { return entries_.begin(); }
  Entries::const_iterator end() const { return entries_.end(); }

 private:
  Entries entries_;
};

// The name of a file's package, on the server and under temp\: the key with every '\' and
// '.' made '_', then ".ppk" (\data\a.dat gives _data_a_dat.ppk).
std::string PackageNameOf(std::string_view key);

bool IsZeroDigest(const Digest& digest);

// Digests as the binary files hold them: 16 raw bytes. None when the bytes end first.
std::optional<Digest> DigestAt(std::string_view bytes, std::size_t offset);
void AppendDigest(std::string& bytes, const Digest& digest);

// pserv.log, as the server publishes it:
//
//   offset  size  content
//        0     4  not read
//        4    16  MD5 of the current filelist.log
//       20    16  MD5 of the current veldra.exe
//       36     -  text: name=server lines separated by CR LF (the server list)
//
// A file too short for a digest holds none.
std::optional<Digest> FileListDigestOfPservLog(std::string_view bytes);
std::optional<Digest> PatcherDigestOfPservLog(std::string_view bytes);
std::string PservLogBytes(const Digest& fileList, const Digest& patcher,
                          const std::vector<std::pair<std::string, std::string>>& servers);

// filelist.log, as the server publishes it: two header lines of text, each at least one
// byte and ended by CR LF, not interpreted; then one record per file up to the end:
//
//   16 bytes  MD5 of the file's content (raw: any byte, CR, LF and NUL included)
//   n bytes   the file's key (\data\a.dat): no CR, LF or NUL, at least one byte
//   2 bytes   CR LF
//
// Reading sets `listed` of each named entry, adding entries as needed; a later record of
// the same key wins. A record cut short is dropped; no byte outside `bytes` is read.
void ReadFileList(std::string_view bytes, FileDigestMap& files);
struct ListedFile {
  std::string key;
  Digest digest;
};
std::string FileListBytes(const std::vector<ListedFile>& files);

// True unless the file opens (without sharing) and its MD5 equals `expected`.
bool FileDiffersFromDigest(const std::string& path, const Digest& expected);

// The entry's package must be fetched: none for the listed content was downloaded, or the
// one that was is no longer waiting in temp\.
bool NeedsPackage(const std::string& key, const FileDigests& digests);

// The file-list stage: makes the local filelist.log the one pserv.log announces, fetching it
// when it differs, and loads its digests into the job's map. Keys that cannot be installed
// (WhyNotInstallable) are left unlisted, the first of them kept in `refusedName`.
bool LoadFileList(PatchJob& job);
