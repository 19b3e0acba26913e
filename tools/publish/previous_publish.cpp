#include "tools/publish/previous_publish.h"

#include <system_error>

#include "engine/file_list.h"
#include "tools/publish/input_files.h"

namespace fs = std::filesystem;

PreviousPublish::PreviousPublish(const fs::path& serverDir) : serverDir_(serverDir) {
  const fs::path list = serverDir / "filelist.log";
  std::error_code error;
  listWritten_ = fs::last_write_time(list, error);
  // No list: every package is written again.
  if (!error) ReadFileList(ReadWhole(list), listed_);
}

bool PreviousPublish::HoldsPackage(const std::string& key, const Digest& digest) {
  const FileDigests* entry = listed_.Find(key);
  if (entry == nullptr || entry->listed != digest) return false;
  // A package newer than the list was written by a publish that did not finish, and may
  // hold other content than the list gives.
  std::error_code error;
  const fs::path package = serverDir_ / PackageNameOf(key);
  fs::file_time_type packageWritten = fs::last_write_time(package, error);
  return !error && fs::is_regular_file(package) && packageWritten <= listWritten_;
}
