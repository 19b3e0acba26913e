// release.sig as a hostile server or a damaged disk might hand it over. The seeds are signed
// by testbed/release_test.key, so that the lines after a good signature are read too.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/release_manifest.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const platform::P256PublicKey key = *ParseReleaseKey(
      "p256:37640123cba98c3ae1eea2e719e67ec12f527b8aec42297b813a4ba958b23bbd845fb2867bcbafe28376"
      "6186e7cb85bc0182dc6794f24dc8ffdef6f3b67898ae");
  std::string_view text(reinterpret_cast<const char*>(data), size);
  std::string why;
  std::optional<ReleaseManifest> manifest = ReadSignedManifest(text, key, why);
  if (!manifest && why.empty()) __builtin_trap();
  // What the publisher signed reads back as the very lines it wrote.
  if (manifest && !text.starts_with(UnsignedManifestText(*manifest))) __builtin_trap();
  return 0;
}
