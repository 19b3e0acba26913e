#include "engine/built_in_key.h"

#include "engine/release_manifest.h"

std::optional<platform::P256PublicKey> BuiltInReleaseKey() {
  static const std::optional<platform::P256PublicKey> key = ParseReleaseKey(VELDRA_RELEASE_KEY);
  return key;
}
