#include "engine/partial_download.h"

#include <charconv>

#include "engine/state_file.h"
#include "platform/files.h"

namespace {

std::string TagName(const std::string& stagingName) { return stagingName + ".tag"; }

// A length in decimal and a validator that goes out in a header, each with its LF.
constexpr std::uint64_t kLargestTag = 1024;

std::optional<std::uint64_t> NumberAt(std::string_view& text, char end) {
  std::uint64_t number = 0;
  auto [next, error] = std::from_chars(text.data(), text.data() + text.size(), number);
  if (error != std::errc() || next == text.data() || next == text.data() + text.size() ||
      *next != end) {
    return std::nullopt;
  }
  text.remove_prefix(static_cast<std::size_t>(next - text.data()) + 1);
  return number;
}

// Goes out again as a header: printable ASCII only, and short.
bool CanBeSent(std::string_view validator) {
  if (validator.size() > 256) return false;
  for (unsigned char c : validator) {
    if (c < 0x20 || c > 0x7e) return false;
  }
  return true;
}

}  // namespace

std::string PartName(const std::string& stagingName) { return stagingName + ".part"; }

std::optional<PartialTag> ReadTag(std::string_view text) {
  const std::optional<std::uint64_t> total = NumberAt(text, '\n');
  const std::size_t end = text.find('\n');
  if (!total || end != text.size() - 1 || !CanBeSent(text.substr(0, end))) return std::nullopt;
  return PartialTag{*total, std::string(text.substr(0, end))};
}

std::optional<PartialDownload> FindPartial(const std::string& stagingName) {
  const std::optional<platform::FileStamp> part = platform::StampOf(PartName(stagingName));
  const std::optional<std::string> text = ReadStateFile(TagName(stagingName), kLargestTag);
  if (!part && !text) return std::nullopt;
  const std::optional<PartialTag> tag = text ? ReadTag(*text) : std::nullopt;
  if (part && tag && part->size > 0 && static_cast<std::uint64_t>(part->size) < tag->total) {
    return PartialDownload{static_cast<std::uint64_t>(part->size), tag->total, tag->validator};
  }
  DropPartial(stagingName);
  return std::nullopt;
}

bool TagPartial(const std::string& stagingName, std::uint64_t total, const std::string& validator) {
  const std::string text = std::to_string(total) + "\n" + validator + "\n";
  platform::File tag;
  return tag.Open(TagName(stagingName), platform::FileMode::Write) &&
         tag.Write(text.data(), text.size()) && tag.Close();
}

void DropPartial(const std::string& stagingName) {
  platform::RemoveFile(TagName(stagingName));
  platform::RemoveFile(PartName(stagingName));
}

std::string ValidatorOf(const std::optional<std::string>& etag,
                        const std::optional<std::string>& lastModified) {
  if (etag && !etag->starts_with("W/") && !etag->empty() && CanBeSent(*etag)) return *etag;
  if (lastModified && CanBeSent(*lastModified)) return *lastModified;
  return "";
}

bool ContinuesPartial(std::string_view contentRange, const PartialDownload& partial) {
  if (!contentRange.starts_with("bytes ")) return false;
  contentRange.remove_prefix(6);
  const std::optional<std::uint64_t> from = NumberAt(contentRange, '-');
  const std::optional<std::uint64_t> last = from ? NumberAt(contentRange, '/') : std::nullopt;
  if (!last) return false;
  std::uint64_t total = 0;
  auto [end, error] =
      std::from_chars(contentRange.data(), contentRange.data() + contentRange.size(), total);
  return error == std::errc() && end == contentRange.data() + contentRange.size() &&
         *from == partial.have && total == partial.total && *last + 1 == total;
}
