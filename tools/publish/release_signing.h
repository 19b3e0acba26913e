#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/signature.h"

// The operator's private key, read from a PEM file that only its owner may read.
class SigningKey {
 public:
  // Throws PublishError when the file is readable by others, missing, or no P-256 key.
  explicit SigningKey(const std::filesystem::path& file);
  ~SigningKey();
  SigningKey(const SigningKey&) = delete;
  SigningKey& operator=(const SigningKey&) = delete;

  platform::P256Signature Sign(std::string_view message) const;
  platform::P256PublicKey PublicKey() const;

 private:
  struct Key;
  std::unique_ptr<Key> key_;
};

// Writes a new key pair: `file` the private key (mode 0600), `file`.pub the public key's line.
// Never replaces an existing file. Throws PublishError.
void MakeKeyPair(const std::filesystem::path& file);

// The number the server folder's next signed release gets: one more than its release.sig's,
// taken only when that carries this key's signature; 1 when the folder was never signed.
// Throws PublishError, saying what to do, when release.sig is damaged, signed by another key,
// or holds the last number there is.
std::uint64_t NextReleaseNumber(const std::filesystem::path& serverDir, const SigningKey& key);

// Writes release.sig into the server folder last: the manifest of `names` (the files of the
// folder the release publishes, each hashed now) under `release`, signed.
void SignRelease(const std::filesystem::path& serverDir, const std::vector<std::string>& names,
                 const SigningKey& key, std::uint64_t release);
