#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// File operations on names relative to the current directory (the game folder). Names use
// '\' as the folder separator, as the program writes them; on POSIX both '\' and '/' are.
namespace platform {

enum class FileMode {
  Read,       // existing file, reading only
  Write,      // created or emptied, writing only
  ReadWrite,  // existing file, reading and writing
};

// What other openers may do while the file is open. POSIX has no share modes; there the
// value is accepted and has no effect.
enum class FileShare { None, Read, ReadWrite };

class File {
 public:
  File() = default;
  ~File() { Close(); }
  File(File&& other) noexcept : handle_(other.handle_) { other.handle_ = kClosed; }
  File& operator=(File&& other) noexcept {
    if (this != &other) {
      Close();
      handle_ = other.handle_;
      other.handle_ = kClosed;
    }
    return *this;
  }
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  // Only a regular file opens: a folder, a device, a pipe or a socket is refused (a folder
  // with the system's "is a folder" error, the others with "not supported"), and the open
  // never waits for a pipe's other end.
  bool Open(const std::string& name, FileMode mode, FileShare share = FileShare::None);
  bool IsOpen() const { return handle_ != kClosed; }
  // False when the system reported an error while closing (written data may be lost).
  bool Close();

  // Bytes read (0 at the end), or -1 on an error.
  std::int64_t Read(void* buffer, std::size_t size);
  // True only when every byte was written.
  bool Write(const void* buffer, std::size_t size);
  // Waits until what was written is on the disk itself, not only in the system's cache.
  bool FlushToDisk();
  std::optional<std::int64_t> Length() const;
  bool Seek(std::int64_t offset);
  // The system's handle or descriptor, for the platform's own sources.
  std::intptr_t handle() const { return handle_; }

 private:
  static constexpr std::intptr_t kClosed = -1;
  std::intptr_t handle_ = kClosed;
};

struct FoundEntry {
  std::string name;  // the last component only
  bool folder = false;
  bool link = false;  // a symbolic link or junction, which a walk does not descend through
};

// Entries matching `pattern` (a folder, a separator and a name with '*' and '?', matched
// without regard to case), hidden and system files included, "." and ".." left out.
// A missing folder holds nothing; false when the folder cannot be read.
bool FindEntries(const std::string& pattern, std::vector<FoundEntry>& found);

// The whole content of a file, or none when it cannot be opened or read.
std::optional<std::string> ReadWholeFile(const std::string& name);

// What ReadRegularFile found.
struct WholeFile {
  std::optional<std::string> bytes;  // every byte of the file, or none
  bool missing = false;              // none because nothing has that name
  std::string why;                   // none for another reason: what it is, for a message
};
// The whole content of a regular file of at most `limit` bytes. What is not one (a folder, a
// device, a pipe) or is larger is refused before a byte of it is read, so that neither a file
// of many GiB nor a link to an endless device can take the memory or hold the caller.
WholeFile ReadRegularFile(const std::string& name, std::uint64_t limit);

bool CopyFileOver(const std::string& from, const std::string& to);
// Replaces `to` by `from` in one step where the system allows it.
bool MoveFileOver(const std::string& from, const std::string& to);
bool RemoveFile(const std::string& name);
bool CreateFolder(const std::string& name);
// An empty folder only.
bool RemoveFolder(const std::string& name);
// The attribute query: true when the name exists, as a file or as a folder.
bool PathExists(const std::string& name);
bool IsFolder(const std::string& name);

// What a name is, links followed. Other is a device, a pipe or a socket: never a game file.
enum class EntryKind { Missing, File, Folder, Other };
EntryKind KindOf(const std::string& name);

// True when `name`, with every link and junction on its way followed, is below the current
// directory; false when it leads out of it or does not exist.
bool LiesInsideCurrentDirectory(const std::string& name);

// What the system says of a file without reading it. `writeTime` is in the system's own unit
// (100 ns steps on Windows, nanoseconds on POSIX): only compared, never shown.
struct FileStamp {
  std::int64_t size = 0;
  std::int64_t writeTime = 0;
  bool operator==(const FileStamp&) const = default;
};
// None when the name is missing or is a folder.
std::optional<FileStamp> StampOf(const std::string& name);

// The system's words for why the last failing call of this header failed. Asked right after
// the failure, on the same thread, before another call can change them.
std::string LastErrorText();

// The name as the system's own calls and libraries take it: on POSIX '\' becomes '/'.
std::string SystemPath(const std::string& name);

// True when another program has the file open and lets no one else at it (Windows' share
// modes); never on POSIX, where an open file can always be replaced.
bool IsHeldByAnotherProgram(const std::string& name);

// The longest path the system's file calls take, in bytes.
std::size_t LongestPath();

// The free and the whole space of the disk that holds `folder`, in bytes; `available` is
// what this user may still take. None when the system cannot tell.
struct DiskSpace {
  std::uint64_t available = 0;
  std::uint64_t total = 0;
};
std::optional<DiskSpace> DiskSpaceOf(const std::string& folder);

// The current directory, without a trailing separator.
std::string CurrentDirectory();

}  // namespace platform
