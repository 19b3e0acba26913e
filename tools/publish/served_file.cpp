#include "tools/publish/served_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>

#include "tools/publish/publish_error.h"
#include "tools/publish/unique_fd.h"

namespace fs = std::filesystem;

namespace {

// Starts with '.', so it can never be a package (those start with '_') or a list's name.
// One per process, as a process writes one file at a time: two publishers into one folder
// must not write into each other's file.
std::string TemporaryIn(const fs::path& folder) {
  return (folder / (".veldra-publish-" + std::to_string(getpid()))).string();
}

// The web server must read every file, whoever it runs as.
fs::perms PublishedMode() {
  static const fs::perms mode = [] {
    mode_t mask = umask(0);
    umask(mask);
    return static_cast<fs::perms>(0666 & ~mask);
  }();
  return mode;
}

}  // namespace

ServedFile::ServedFile(const fs::path& folder, const std::string& name)
    : placed_(folder / name), file_(placed_.string(), TemporaryIn(folder)) {
  if (file_.failed()) Throw("cannot write");
  std::error_code error;
  fs::permissions(file_.temporary(), PublishedMode(), error);
  if (error) {
    throw PublishError("cannot write " + Quoted(placed_.string()) +
                       " (cannot set its permissions: " + error.message() + ")");
  }
}

void ServedFile::Write(const char* bytes, std::size_t size) {
  if (!file_.Write(bytes, size)) Throw("cannot write");
  size_ += size;
}

void ServedFile::Commit(platform::ReplacingFile::Flush flush) {
  if (!file_.Commit(flush)) Throw("cannot put in place");
}

void ServedFile::Throw(const char* what) const {
  throw PublishError(std::string(what) + " " + Quoted(placed_.string()) + " (" + file_.failure() +
                     ")");
}

void ReplaceFile(const fs::path& folder, const std::string& name, std::string_view bytes) {
  ServedFile file(folder, name);
  file.Write(bytes);
  file.Commit();
}

void SyncFolder(const fs::path& folder) {
  UniqueFd fd(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!fd.IsOpen() || fsync(fd.get()) != 0) {
    const std::string reason = std::strerror(errno);  // before anything else can change it
    throw PublishError("cannot flush " + Quoted(folder.string()) + ": " + reason);
  }
}

// A file's own fsync costs milliseconds on a journalling file system: 16,384 chunks of a GiB
// would wait about a minute for them.
void FlushFileSystem(const fs::path& folder) {
  UniqueFd fd(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!fd.IsOpen() || syncfs(fd.get()) != 0) {
    const std::string reason = std::strerror(errno);
    throw PublishError("cannot flush the file system of " + Quoted(folder.string()) + ": " +
                       reason);
  }
}
