#include <windows.h>

#include "platform/folder_lock.h"

namespace platform {

// Opened without any sharing: every other opener, in this process or another, is refused.
FolderLock::Result FolderLock::Take(const std::string& name) {
  Release();
  HANDLE file = CreateFileA(name.c_str(), GENERIC_READ, 0, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    error_ = GetLastError();
    return error_ == ERROR_SHARING_VIOLATION ? Result::Busy : Result::Failed;
  }
  handle_ = reinterpret_cast<std::intptr_t>(file);
  return Result::Taken;
}

void FolderLock::Release() {
  if (handle_ == kFree) return;
  CloseHandle(reinterpret_cast<HANDLE>(handle_));
  handle_ = kFree;
}

}  // namespace platform
