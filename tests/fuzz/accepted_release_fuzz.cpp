// The game folder's record of the last accepted release as a damaged disk might leave it.
// The first byte tells which files are there (1: localRelease.log, 2: localRelease.sig); the
// log's bytes follow, then after the first NUL the copy's. The seeds' copies are signed by
// testbed/release_test.key.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "engine/accepted_release.h"
#include "engine/release_manifest.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const platform::P256PublicKey key = *ParseReleaseKey(
      "p256:37640123cba98c3ae1eea2e719e67ec12f527b8aec42297b813a4ba958b23bbd845fb2867bcbafe28376"
      "6186e7cb85bc0182dc6794f24dc8ffdef6f3b67898ae");
  if (size == 0) return 0;
  std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  const std::size_t split = bytes.find('\0');
  std::optional<std::string_view> log, copy;
  if (data[0] & 1) log = bytes.substr(0, split);
  if ((data[0] & 2) && split != std::string_view::npos) copy = bytes.substr(split + 1);
  const AcceptedRelease record = JudgeAcceptedRelease(log, copy, key);
  // A folder with a record never reads as one without: that would drop its protection.
  if (record.state == AcceptedRelease::State::None) __builtin_trap();
  if (record.state == AcceptedRelease::State::Damaged && record.number != 0) __builtin_trap();
  // A copy that proves a number always gives that one.
  std::string why;
  if (copy) {
    if (auto proven = ReadSignedManifest(*copy, key, why);
        proven && proven->release != record.number)
      __builtin_trap();
  }
  return 0;
}
