#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/files.h"
#include "platform/folder_lock.h"

namespace platform {

// flock belongs to the open file, not the process: a second open in this process is refused
// as well. Close-on-exec keeps a started game from inheriting the lock. A link is never
// followed, so the lock creates nothing outside the game folder, and a pipe is not waited on.
FolderLock::Result FolderLock::Take(const std::string& name) {
  Release();
  int fd = open(SystemPath(name).c_str(),
                O_RDONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY, 0644);
  if (fd < 0) {
    error_ = static_cast<unsigned long>(errno);
    return Result::Failed;
  }
  struct stat info {};
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    error_ = static_cast<unsigned long>(S_ISDIR(info.st_mode) ? EISDIR : EOPNOTSUPP);
    close(fd);
    return Result::Failed;
  }
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    error_ = static_cast<unsigned long>(errno);
    close(fd);
    return error_ == EWOULDBLOCK ? Result::Busy : Result::Failed;
  }
  handle_ = fd;
  return Result::Taken;
}

void FolderLock::Close(std::intptr_t handle) { close(static_cast<int>(handle)); }

}  // namespace platform
