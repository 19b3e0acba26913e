#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "engine/md5.h"
#include "platform/files.h"

// What the patcher knows of one game file. A digest of 16 zero bytes means "none".
struct FileDigests {
  Digest installed{};  // of the file on disk
  Digest fetched{};    // of the content whose package waits in temp\; else equal to installed
  Digest listed{};     // what the server's filelist.log gives for the file
  // Size and write time of the file when `installed` was taken from it; none when unknown.
  std::optional<platform::FileStamp> stamp;
  // Its package came in this run; never saved. One left by an earlier run may be stale.
  bool fetchedThisRun = false;
  // That package was put together from a part kept before: bad content then costs one whole
  // fetch, not a failure.
  bool resumedThisRun = false;
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

// True unless the file opens (without sharing) and its MD5 equals `expected`.
bool FileDiffersFromDigest(const std::string& path, const Digest& expected);

// The entry's package must be fetched: none for the listed content was downloaded, or the
// one that was is no longer waiting in temp\.
bool NeedsPackage(const std::string& key, const FileDigests& digests);
