#include <windows.h>

#include "platform/folder_lock.h"
#include "platform/handles_win32.h"

namespace platform {

// Opened without any sharing: every other opener, in this process or another, is refused.
// A link or junction is opened as itself, never followed, so the lock creates nothing
// outside the game folder; it must then be a plain file on the disk.
FolderLock::Result FolderLock::Take(const std::string& name) {
  Release();
  OwnedHandle file(CreateFileA(name.c_str(), GENERIC_READ, 0, nullptr, OPEN_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!file) {
    error_ = GetLastError();
    return error_ == ERROR_SHARING_VIOLATION ? Result::Busy : Result::Failed;
  }
  BY_HANDLE_FILE_INFORMATION info;
  if (GetFileType(file.get()) != FILE_TYPE_DISK || !GetFileInformationByHandle(file.get(), &info) ||
      (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0) {
    error_ = ERROR_CANT_ACCESS_FILE;
    return Result::Failed;
  }
  handle_ = reinterpret_cast<std::intptr_t>(file.Release());
  return Result::Taken;
}

void FolderLock::Close(std::intptr_t handle) { CloseHandle(reinterpret_cast<HANDLE>(handle)); }

}  // namespace platform
