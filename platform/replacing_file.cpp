#include "platform/replacing_file.h"

#include <utility>

namespace platform {

ReplacingFile::ReplacingFile(std::string target, std::string temporary)
    : target_(std::move(target)), temporary_(std::move(temporary)) {
  if (!file_.Open(temporary_, FileMode::Write, FileShare::Read)) {
    Fail("cannot create the temporary file");
  }
}

ReplacingFile::~ReplacingFile() {
  if (committed_) return;
  file_.Close();  // Windows removes no open file
  RemoveFile(temporary_);
}

bool ReplacingFile::Write(const void* bytes, std::size_t size) {
  if (failed()) return false;
  return file_.Write(bytes, size) || Fail("cannot write");
}

bool ReplacingFile::Commit(Flush flush) {
  if (failed()) return false;
  // On the disk before it takes the name: after a crash the name holds the old file or the new.
  if (flush == Flush::ToDisk && !file_.FlushToDisk()) return Fail("cannot flush to the disk");
  if (!file_.Close()) return Fail("cannot close");
  if (!MoveFileOver(temporary_, target_)) return Fail("cannot move over the target");
  committed_ = true;
  return true;
}

bool ReplacingFile::Fail(const char* step) {
  const std::string reason = LastErrorText();  // before anything else can change it
  failure_ = std::string(step) + ": " + reason;
  return false;
}

}  // namespace platform
