#include "engine/accepted_release.h"

#include <charconv>

#include "engine/release_check.h"
#include "engine/release_manifest.h"
#include "engine/state_file.h"
#include "platform/files.h"
#include "platform/replacing_file.h"

namespace {

// "18446744073709551615\r\n"
constexpr std::int64_t kLongestLog = 22;

// Only the text a record writes: a bit flipped into a leading zero, a sign or a stray byte
// must not pass for another number.
std::optional<std::uint64_t> NumberOfLog(std::string_view text) {
  if (!text.ends_with("\r\n")) return std::nullopt;
  text.remove_suffix(2);
  std::uint64_t number = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
  if (text.empty() || error != std::errc() || end != text.data() + text.size() ||
      std::to_string(number) != text) {
    return std::nullopt;
  }
  return number;
}

bool Replace(const char* name, std::string_view bytes, std::string& why) {
  platform::ReplacingFile file(name, std::string(name) + ".new");
  if (file.Write(bytes) && file.Commit()) return true;
  why = std::string(name) + ": " + file.failure();
  return false;
}

}  // namespace

AcceptedRelease JudgeAcceptedRelease(std::optional<std::string_view> log,
                                     std::optional<std::string_view> copy,
                                     const platform::P256PublicKey& key) {
  std::string why;
  if (copy) {
    if (std::optional<ReleaseManifest> proven = ReadSignedManifest(*copy, key, why)) {
      return {AcceptedRelease::State::Known, proven->release};
    }
  }
  if (log) {
    if (std::optional<std::uint64_t> number = NumberOfLog(*log)) {
      return {AcceptedRelease::State::Known, *number};
    }
  }
  return {AcceptedRelease::State::Damaged, 0};
}

AcceptedRelease ReadAcceptedRelease(const platform::P256PublicKey& key) {
  if (!platform::PathExists(kAcceptedReleaseName) && !platform::PathExists(kAcceptedCopyName)) {
    return {};
  }
  const std::optional<std::string> log = ReadStateFile(kAcceptedReleaseName, kLongestLog);
  const std::optional<std::string> copy = ReadStateFile(kAcceptedCopyName, kLargestManifest);
  return JudgeAcceptedRelease(log, copy, key);
}

bool RecordAcceptedRelease(std::string_view manifest, std::uint64_t number, std::string& why) {
  return Replace(kAcceptedCopyName, manifest, why) &&
         Replace(kAcceptedReleaseName, std::to_string(number) + "\r\n", why);
}
