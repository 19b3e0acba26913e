#include <direct.h>
#include <windows.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "platform/files.h"
#include "platform/handles_win32.h"

namespace platform {
namespace {
HANDLE Native(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

DWORD ShareFlags(FileShare share) {
  switch (share) {
    case FileShare::None:
      return 0;
    case FileShare::Read:
      return FILE_SHARE_READ;
    case FileShare::ReadWrite:
      return FILE_SHARE_READ | FILE_SHARE_WRITE;
  }
  return 0;
}

class FindHandle {
 public:
  explicit FindHandle(HANDLE handle) : handle_(handle) {}
  ~FindHandle() {
    if (handle_ != INVALID_HANDLE_VALUE) FindClose(handle_);
  }
  FindHandle(const FindHandle&) = delete;
  FindHandle& operator=(const FindHandle&) = delete;
  HANDLE get() const { return handle_; }

 private:
  HANDLE handle_;
};
}  // namespace

bool File::Open(const std::string& name, FileMode mode, FileShare share) {
  Close();
  DWORD access = GENERIC_READ;
  DWORD disposition = OPEN_EXISTING;
  if (mode == FileMode::Write) {
    access = GENERIC_WRITE;
    disposition = CREATE_ALWAYS;
  } else if (mode == FileMode::ReadWrite) {
    access = GENERIC_READ | GENERIC_WRITE;
  }
  // Windows refuses to write a read-only file; Wine run as root would not, so ask first.
  DWORD attributes = GetFileAttributesA(name.c_str());
  if (mode != FileMode::Read && attributes != INVALID_FILE_ATTRIBUTES &&
      (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
    SetLastError(ERROR_ACCESS_DENIED);
    return false;
  }
  HANDLE opened = CreateFileA(name.c_str(), access, ShareFlags(share), nullptr, disposition,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (opened == INVALID_HANDLE_VALUE) return false;
  // A device may never end and a pipe never answer: only files on a disk are game files.
  if (GetFileType(opened) != FILE_TYPE_DISK) {
    CloseHandle(opened);
    SetLastError(ERROR_NOT_SUPPORTED);
    return false;
  }
  handle_ = reinterpret_cast<std::intptr_t>(opened);
  return true;
}

bool File::Close() {
  if (handle_ == kClosed) return true;
  bool closed = CloseHandle(Native(handle_)) != 0;
  handle_ = kClosed;
  return closed;
}

std::int64_t File::Read(void* buffer, std::size_t size) {
  DWORD chunk = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
  DWORD got = 0;
  if (!ReadFile(Native(handle_), buffer, chunk, &got, nullptr)) return -1;
  return got;
}

bool File::Write(const void* buffer, std::size_t size) {
  const char* bytes = static_cast<const char*>(buffer);
  while (size > 0) {
    DWORD chunk = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
    DWORD written = 0;
    if (!WriteFile(Native(handle_), bytes, chunk, &written, nullptr) || written == 0) return false;
    bytes += written;
    size -= written;
  }
  return true;
}

bool File::FlushToDisk() { return FlushFileBuffers(Native(handle_)) != 0; }

std::optional<std::int64_t> File::Length() const {
  LARGE_INTEGER length;
  if (!GetFileSizeEx(Native(handle_), &length)) return std::nullopt;
  return length.QuadPart;
}

bool File::Seek(std::int64_t offset) {
  LARGE_INTEGER to;
  to.QuadPart = offset;
  return SetFilePointerEx(Native(handle_), to, nullptr, FILE_BEGIN) != 0;
}

bool FindEntries(const std::string& pattern, std::vector<FoundEntry>& found) {
  WIN32_FIND_DATAA entry;
  FindHandle search(FindFirstFileA(pattern.c_str(), &entry));
  if (search.get() == INVALID_HANDLE_VALUE) {
    DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
  }
  do {
    std::string name = entry.cFileName;
    if (name == "." || name == "..") continue;
    found.push_back({name, (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0,
                     (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0});
  } while (FindNextFileA(search.get(), &entry));
  return true;
}

bool CopyFileOver(const std::string& from, const std::string& to) {
  return CopyFileA(from.c_str(), to.c_str(), FALSE) != 0;
}

bool MoveFileOver(const std::string& from, const std::string& to) {
  return MoveFileExA(from.c_str(), to.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

std::optional<DiskSpace> DiskSpaceOf(const std::string& folder) {
  ULARGE_INTEGER available;
  ULARGE_INTEGER total;
  if (!GetDiskFreeSpaceExA(folder.c_str(), &available, &total, nullptr)) return std::nullopt;
  return DiskSpace{available.QuadPart, total.QuadPart};
}

bool RemoveFile(const std::string& name) { return DeleteFileA(name.c_str()) != 0; }

bool CreateFolder(const std::string& name) { return CreateDirectoryA(name.c_str(), nullptr) != 0; }

bool RemoveFolder(const std::string& name) { return RemoveDirectoryA(name.c_str()) != 0; }

bool PathExists(const std::string& name) {
  return GetFileAttributesA(name.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsFolder(const std::string& name) {
  DWORD attributes = GetFileAttributesA(name.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

EntryKind KindOf(const std::string& name) {
  const DWORD attributes = GetFileAttributesA(name.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = GetLastError();
    // Anything else the open that follows tells in the system's words.
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? EntryKind::Missing
                                                                          : EntryKind::File;
  }
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return EntryKind::Folder;
  return (attributes & FILE_ATTRIBUTE_DEVICE) != 0 ? EntryKind::Other : EntryKind::File;
}

namespace {
// The path a name ends at, every link and junction followed; empty when it cannot be told.
std::string FinalPathOf(const std::string& name) {
  const OwnedHandle opened(
      CreateFileA(name.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!opened) return "";
  char path[32768];
  const DWORD length = GetFinalPathNameByHandleA(opened.get(), path, sizeof path, 0);
  if (length == 0 || length >= sizeof path) return "";
  return std::string(path, length);
}

bool SameLetters(const std::string& a, const std::string& b) {
  return CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, a.data(), static_cast<int>(a.size()),
                        b.data(), static_cast<int>(b.size())) == CSTR_EQUAL;
}
}  // namespace

bool LiesInsideCurrentDirectory(const std::string& name) {
  std::string below = FinalPathOf(".");
  const std::string resolved = FinalPathOf(name);
  if (below.empty() || resolved.empty()) return false;
  if (below.back() != '\\') below += '\\';
  return resolved.size() > below.size() && SameLetters(resolved.substr(0, below.size()), below);
}

std::optional<FileStamp> StampOf(const std::string& name) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(name.c_str(), GetFileExInfoStandard, &data) ||
      (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return std::nullopt;
  }
  FileStamp stamp;
  stamp.size = static_cast<std::int64_t>((static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) |
                                         data.nFileSizeLow);
  stamp.writeTime = static_cast<std::int64_t>(
      (static_cast<std::uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
      data.ftLastWriteTime.dwLowDateTime);
  return stamp;
}

std::string LastErrorText() {
  const DWORD error = GetLastError();
  char text[512];
  DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                error, 0, text, sizeof text, nullptr);
  // The texts end in ".\r\n"; callers put them inside sentences of their own.
  while (length > 0 && (text[length - 1] == '\r' || text[length - 1] == '\n' ||
                        text[length - 1] == ' ' || text[length - 1] == '.')) {
    --length;
  }
  if (length == 0) return "system error " + std::to_string(error);
  return std::string(text, length);
}

std::string SystemPath(const std::string& name) { return name; }

bool IsHeldByAnotherProgram(const std::string& name) {
  const OwnedHandle file(CreateFileA(name.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
  return !file && GetLastError() == ERROR_SHARING_VIOLATION;
}

// The ANSI calls take MAX_PATH characters with the terminator.
std::size_t LongestPath() { return MAX_PATH - 1; }

std::string CurrentDirectory() {
  std::unique_ptr<char, decltype(&std::free)> path(_getcwd(nullptr, 0), &std::free);
  return path ? std::string(path.get()) : std::string();
}

}  // namespace platform
