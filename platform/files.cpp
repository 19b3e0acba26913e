#include "platform/files.h"

namespace platform {

std::optional<std::string> ReadWholeFile(const std::string& name) {
  File file;
  if (!file.Open(name, FileMode::Read, FileShare::Read)) return std::nullopt;
  std::string content;
  // Sized once: growing a string of megabytes block by block copies it over and over.
  if (std::optional<std::int64_t> length = file.Length(); length && *length > 0) {
    content.reserve(static_cast<std::size_t>(*length));
  }
  char block[64 * 1024];
  for (;;) {
    std::int64_t got = file.Read(block, sizeof block);
    if (got < 0) return std::nullopt;
    if (got == 0) return content;
    content.append(block, static_cast<std::size_t>(got));
  }
}

namespace {

WholeFile Refused(std::string why) {
  WholeFile refused;
  refused.why = std::move(why);
  return refused;
}

std::string TooLarge(std::uint64_t size, std::uint64_t limit) {
  return "it is " + std::to_string(size) + " bytes long, more than the " + std::to_string(limit) +
         " such a file may be";
}

}  // namespace

WholeFile ReadRegularFile(const std::string& name, std::uint64_t limit) {
  File file;
  if (!file.Open(name, FileMode::Read, FileShare::Read)) {
    const std::string system = LastErrorText();
    switch (KindOf(name)) {
      case EntryKind::Missing: {
        WholeFile missing;
        missing.missing = true;
        return missing;
      }
      case EntryKind::Folder:
        return Refused("it is a folder");
      case EntryKind::Other:
        return Refused("it is no regular file but a device, a pipe or a socket");
      case EntryKind::File:
        break;
    }
    return Refused("it cannot be opened: " + system);
  }
  const std::optional<std::int64_t> length = file.Length();
  if (!length) return Refused("its length cannot be read: " + LastErrorText());
  const std::uint64_t size = static_cast<std::uint64_t>(*length);
  if (size > limit) return Refused(TooLarge(size, limit));
  std::string content(static_cast<std::size_t>(size), '\0');
  std::size_t have = 0;
  // One byte beyond the length it had: a file that grew since must not grow the buffer.
  char extra = 0;
  for (;;) {
    const bool inside = have < content.size();
    std::int64_t got =
        inside ? file.Read(content.data() + have, content.size() - have) : file.Read(&extra, 1);
    if (got < 0) return Refused("it cannot be read: " + LastErrorText());
    if (got == 0) break;
    if (!inside) return Refused("it grew while it was read");
    have += static_cast<std::size_t>(got);
  }
  content.resize(have);
  WholeFile read;
  read.bytes = std::move(content);
  return read;
}

}  // namespace platform
