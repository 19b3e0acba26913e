#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <system_error>

#include "platform/files.h"

namespace platform {

std::string LastErrorText() {
  const int error = errno;
  return std::generic_category().message(error);
}

std::string SystemPath(const std::string& name) {
  std::string slashed = name;
  for (char& c : slashed) {
    if (c == '\\') c = '/';
  }
  return slashed;
}

namespace {
int Descriptor(std::intptr_t handle) { return static_cast<int>(handle); }

class Folder {
 public:
  explicit Folder(const std::string& path) : dir_(opendir(path.c_str())) {}
  ~Folder() {
    if (dir_ != nullptr) closedir(dir_);
  }
  Folder(const Folder&) = delete;
  Folder& operator=(const Folder&) = delete;
  DIR* get() const { return dir_; }

 private:
  DIR* dir_;
};
}  // namespace

bool File::Open(const std::string& name, FileMode mode, FileShare) {
  Close();
  int flags = O_RDONLY;
  if (mode == FileMode::Write) flags = O_WRONLY | O_CREAT | O_TRUNC;
  if (mode == FileMode::ReadWrite) flags = O_RDWR;
  // A file without write permission is read-only for everyone, root included, as a file
  // with the read-only attribute is on Windows.
  struct stat existing {};
  if (mode != FileMode::Read && stat(SystemPath(name).c_str(), &existing) == 0 &&
      (existing.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
    errno = EACCES;
    return false;
  }
  // Not blocking: opening a pipe would otherwise wait for a writer that may never come.
  int fd = open(SystemPath(name).c_str(), flags | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0644);
  if (fd < 0) return false;
  struct stat info {};
  int refusal = 0;
  if (fstat(fd, &info) != 0) {
    refusal = errno;
  } else if (S_ISDIR(info.st_mode)) {  // Windows will not open a folder
    refusal = EISDIR;
  } else if (!S_ISREG(info.st_mode)) {  // a device may never end, a pipe never answer
    refusal = EOPNOTSUPP;
  } else if (fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
    refusal = errno;
  }
  if (refusal != 0) {
    close(fd);
    errno = refusal;
    return false;
  }
  handle_ = fd;
  return true;
}

bool File::Close() {
  if (handle_ == kClosed) return true;
  bool closed = close(Descriptor(handle_)) == 0;
  handle_ = kClosed;
  return closed;
}

std::int64_t File::Read(void* buffer, std::size_t size) {
  for (;;) {
    ssize_t got = read(Descriptor(handle_), buffer, size);
    if (got >= 0 || errno != EINTR) return got;
  }
}

bool File::Write(const void* buffer, std::size_t size) {
  const char* bytes = static_cast<const char*>(buffer);
  while (size > 0) {
    ssize_t written = write(Descriptor(handle_), bytes, size);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    bytes += written;
    size -= static_cast<std::size_t>(written);
  }
  return true;
}

bool File::FlushToDisk() { return fsync(Descriptor(handle_)) == 0; }

std::optional<std::int64_t> File::Length() const {
  struct stat info {};
  if (fstat(Descriptor(handle_), &info) != 0) return std::nullopt;
  return static_cast<std::int64_t>(info.st_size);
}

bool File::Seek(std::int64_t offset) {
  return lseek(Descriptor(handle_), static_cast<off_t>(offset), SEEK_SET) == offset;
}

bool FindEntries(const std::string& pattern, std::vector<FoundEntry>& found) {
  std::string native = SystemPath(pattern);
  std::size_t slash = native.rfind('/');
  std::string folder = slash == std::string::npos ? std::string(".")
                       : slash == 0               ? std::string("/")
                                                  : native.substr(0, slash);
  std::string mask = slash == std::string::npos ? native : native.substr(slash + 1);
  Folder listing(folder);
  if (listing.get() == nullptr) return errno == ENOENT;
  while (dirent* entry = readdir(listing.get())) {
    std::string name = entry->d_name;
    if (name == "." || name == ".." || fnmatch(mask.c_str(), name.c_str(), FNM_CASEFOLD) != 0) {
      continue;
    }
    std::string path = folder;  // built in steps: gcc 12 warns falsely on folder + "/" + name
    path += '/';
    path += name;
    struct stat own {};
    const bool link = lstat(path.c_str(), &own) == 0 && S_ISLNK(own.st_mode);
    found.push_back({name, IsFolder(path), link});
  }
  return true;
}

bool CopyFileOver(const std::string& from, const std::string& to) {
  File source;
  if (!source.Open(from, FileMode::Read)) return false;
  File target;
  if (!target.Open(to, FileMode::Write)) return false;
  // Like the Windows copy, the copy keeps the file's attributes: a program stays runnable.
  struct stat info {};
  if (fstat(Descriptor(source.handle()), &info) == 0) {
    fchmod(Descriptor(target.handle()), info.st_mode & 07777);
  }
  std::unique_ptr<char[]> buffer(new char[1 << 16]);
  for (;;) {
    std::int64_t got = source.Read(buffer.get(), 1 << 16);
    if (got < 0) return false;
    if (got == 0) return true;
    if (!target.Write(buffer.get(), static_cast<std::size_t>(got))) return false;
  }
}

bool MoveFileOver(const std::string& from, const std::string& to) {
  return std::rename(SystemPath(from).c_str(), SystemPath(to).c_str()) == 0;
}

std::optional<DiskSpace> DiskSpaceOf(const std::string& folder) {
  struct statvfs disk {};
  if (statvfs(SystemPath(folder).c_str(), &disk) != 0) return std::nullopt;
  return DiskSpace{static_cast<std::uint64_t>(disk.f_bavail) * disk.f_frsize,
                   static_cast<std::uint64_t>(disk.f_blocks) * disk.f_frsize};
}

bool RemoveFile(const std::string& name) {
  return !IsFolder(name) && unlink(SystemPath(name).c_str()) == 0;
}

bool CreateFolder(const std::string& name) { return mkdir(SystemPath(name).c_str(), 0755) == 0; }

bool RemoveFolder(const std::string& name) { return rmdir(SystemPath(name).c_str()) == 0; }

bool PathExists(const std::string& name) {
  struct stat info {};
  return stat(SystemPath(name).c_str(), &info) == 0;
}

bool IsFolder(const std::string& name) {
  struct stat info {};
  return stat(SystemPath(name).c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

EntryKind KindOf(const std::string& name) {
  struct stat info {};
  if (stat(SystemPath(name).c_str(), &info) != 0) return EntryKind::Missing;
  if (S_ISREG(info.st_mode)) return EntryKind::File;
  return S_ISDIR(info.st_mode) ? EntryKind::Folder : EntryKind::Other;
}

bool LiesInsideCurrentDirectory(const std::string& name) {
  std::unique_ptr<char, decltype(&std::free)> folder(realpath(".", nullptr), &std::free);
  std::unique_ptr<char, decltype(&std::free)> path(realpath(SystemPath(name).c_str(), nullptr),
                                                   &std::free);
  if (!folder || !path) return false;
  std::string below = folder.get();
  if (below != "/") below += '/';
  const std::string resolved = path.get();
  return resolved.size() > below.size() && resolved.starts_with(below);
}

std::optional<FileStamp> StampOf(const std::string& name) {
  struct stat info {};
  if (stat(SystemPath(name).c_str(), &info) != 0 || S_ISDIR(info.st_mode)) return std::nullopt;
  FileStamp stamp;
  stamp.size = static_cast<std::int64_t>(info.st_size);
  stamp.writeTime =
      static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
  return stamp;
}

bool IsHeldByAnotherProgram(const std::string&) { return false; }

std::size_t LongestPath() { return PATH_MAX - 1; }

std::string CurrentDirectory() {
  std::unique_ptr<char, decltype(&std::free)> path(getcwd(nullptr, 0), &std::free);
  return path ? std::string(path.get()) : std::string();
}

}  // namespace platform
