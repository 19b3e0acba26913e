#include "engine/built_in_key.h"

#include "engine/release_manifest.h"
// Generated per key library, in its own build folder.
#include "release_key_text.h"

std::optional<platform::P256PublicKey> BuiltInReleaseKey() {
  static const std::optional<platform::P256PublicKey> key = ParseReleaseKey(kReleaseKeyText);
  return key;
}
