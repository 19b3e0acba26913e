#include "engine/staging_file.h"

#include <algorithm>

bool StagingFile::Create(const std::string& name) {
  name_ = name;
  buffer_.clear();
  buffer_.reserve(kBlockSize);
  size_ = 0;
  if (hash_) hash_.emplace();
  file_.Close();
  inMemory_ = memoryLimit_ > 0;
  memory_.clear();
  return inMemory_ || file_.Open(name, platform::FileMode::Write) || Fail("cannot create");
}

bool StagingFile::Resume(const std::string& name, std::uint64_t have) {
  name_ = name;
  buffer_.reserve(kBlockSize);
  if (!file_.Open(name, platform::FileMode::ReadWrite)) return Fail("cannot open");
  if (!hash_) {
    size_ = have;
    return file_.Seek(static_cast<std::int64_t>(have)) || Fail("cannot seek in");
  }
  buffer_.resize(kBlockSize);
  while (size_ < have) {
    const std::int64_t read =
        file_.Read(buffer_.data(), std::min<std::uint64_t>(kBlockSize, have - size_));
    if (read <= 0) return Fail("cannot read");
    hash_->Add(buffer_.data(), static_cast<std::size_t>(read));
    size_ += static_cast<std::uint64_t>(read);
  }
  buffer_.clear();
  return true;
}

bool StagingFile::Append(const char* bytes, std::size_t count) {
  if (inMemory_ && memory_.size() + count <= memoryLimit_) {
    memory_.append(bytes, count);
    size_ = memory_.size();
    return true;
  }
  if (inMemory_ && !MoveToDisk()) return false;
  buffer_.insert(buffer_.end(), bytes, bytes + count);
  return buffer_.size() < kBlockSize || Flush();
}

bool StagingFile::Finish(bool toDisk) {
  if (inMemory_) {
    if (hash_) hash_->Add(memory_.data(), memory_.size());
    return true;
  }
  bool written = Flush() && (!toDisk || file_.FlushToDisk() || Fail("cannot flush"));
  return (file_.Close() || Fail("cannot close")) && written;
}

ManifestEntry StagingFile::Written() {
  return ManifestEntry{hash_ ? hash_->Finish() : platform::Sha256Digest{}, size_};
}

bool StagingFile::Flush() {
  if (buffer_.empty()) return true;
  tooFull_ = !reserve_.Take(buffer_.size());
  bool written = !tooFull_ && (file_.Write(buffer_.data(), buffer_.size()) || Fail("cannot write"));
  if (hash_) hash_->Add(buffer_.data(), buffer_.size());
  size_ += buffer_.size();
  buffer_.clear();
  return written;
}

// The file outgrew memory: what it holds so far goes to the disk first.
bool StagingFile::MoveToDisk() {
  inMemory_ = false;
  if (!file_.Open(name_, platform::FileMode::Write)) return Fail("cannot create");
  buffer_.assign(memory_.begin(), memory_.end());
  memory_ = std::string();
  size_ = 0;
  return Flush();
}

bool StagingFile::Fail(const char* step) {
  const std::string why = platform::LastErrorText();  // before another call changes it
  failure_ = std::string(step) + " " + name_ + ": " + why;
  return false;
}
