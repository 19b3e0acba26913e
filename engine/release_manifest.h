#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "platform/signature.h"

// release.sig, which a signed publish puts in the server folder: text, lines ended by '\n'.
//
//   veldra-release 1                      the layout's version
//   release N                             decimal; grows with every signed publish
//   published 2026-12-10T05:40:00Z        when, in UTC
//   file SHA256 SIZE NAME                 per published file, in name order: 64 hex digits,
//                                         decimal bytes, the name in the server folder
//   signature RS                          128 hex digits: ECDSA P-256 r and s over the SHA-256
//                                         of every byte before this line
//
// The operator's public key is one line too: "p256:" and the point's x and y in 128 hex
// digits.
struct ManifestEntry {
  platform::Sha256Digest sha256{};
  std::uint64_t size = 0;
  bool operator==(const ManifestEntry&) const = default;
};

struct ReleaseManifest {
  std::uint64_t release = 0;
  std::string published;
  std::map<std::string, ManifestEntry> files;
};

// The manifest's text up to its signature line.
std::string UnsignedManifestText(const ReleaseManifest& manifest);
// The signature line that ends a manifest.
std::string SignatureLine(const platform::P256Signature& signature);

// The manifest of a release.sig whose signature the key makes; none, with the reason in
// `why`, when it is cut, malformed or signed by another key.
std::optional<ReleaseManifest> ReadSignedManifest(std::string_view text,
                                                  const platform::P256PublicKey& key,
                                                  std::string& why);

std::string ReleaseKeyText(const platform::P256PublicKey& key);
std::optional<platform::P256PublicKey> ParseReleaseKey(std::string_view text);
