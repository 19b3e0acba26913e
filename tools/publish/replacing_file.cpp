#include "tools/publish/replacing_file.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "tools/publish/publish_error.h"

namespace fs = std::filesystem;

namespace {

// Starts with '.', so it can never be a package (those start with '_') or a list's name.
constexpr const char* kTemporaryPattern = ".veldra-publish-XXXXXX";

std::string SystemError(const std::string& what, const fs::path& path) {
  return what + " " + Quoted(path.string()) + ": " + std::strerror(errno);
}

// mkstemp makes a file only its owner may read; the web server must read every file.
mode_t PublishedMode() {
  static const mode_t mode = [] {
    mode_t mask = umask(0);
    umask(mask);
    return static_cast<mode_t>(0666 & ~mask);
  }();
  return mode;
}

int CreateTemporary(const fs::path& folder, std::string& name) {
  name = (folder / kTemporaryPattern).string();
  int fd = mkostemp(name.data(), O_CLOEXEC);
  if (fd < 0) throw PublishError(SystemError("cannot create a file in", folder));
  return fd;
}

}  // namespace

ReplacingFile::ReplacingFile(const fs::path& folder)
    : folder_(folder), fd_(CreateTemporary(folder, temporary_)) {}

ReplacingFile::~ReplacingFile() {
  if (!temporary_.empty()) unlink(temporary_.c_str());
}

void ReplacingFile::Write(const char* bytes, std::size_t size) {
  while (size > 0) {
    ssize_t wrote = write(fd_.get(), bytes, size);
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) throw PublishError(SystemError("cannot write into", folder_));
    bytes += wrote;
    size -= static_cast<std::size_t>(wrote);
    size_ += static_cast<std::uint64_t>(wrote);
  }
}

void ReplacingFile::CommitAs(const std::string& name) {
  const fs::path placed = folder_ / name;
  // On disk before it takes the name: after a crash the name holds the old file or the new.
  if (fchmod(fd_.get(), PublishedMode()) != 0 || fsync(fd_.get()) != 0 || !fd_.Close()) {
    throw PublishError(SystemError("cannot write", placed));
  }
  if (std::rename(temporary_.c_str(), placed.c_str()) != 0) {
    throw PublishError(SystemError("cannot put in place", placed));
  }
  temporary_.clear();
}

void ReplaceFile(const fs::path& folder, const std::string& name, std::string_view bytes) {
  ReplacingFile file(folder);
  file.Write(bytes);
  file.CommitAs(name);
}

void SyncFolder(const fs::path& folder) {
  UniqueFd fd(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!fd.IsOpen() || fsync(fd.get()) != 0) {
    throw PublishError(SystemError("cannot flush", folder));
  }
}
