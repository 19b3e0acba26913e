#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

// What checks a signed release, from the system's own cryptography (BCrypt on Windows,
// OpenSSL's libcrypto elsewhere): SHA-256, and ECDSA over P-256.
namespace platform {

using Sha256Digest = std::array<std::uint8_t, 32>;
// A public key as its point: x then y, 32 bytes each, most significant byte first.
using P256PublicKey = std::array<std::uint8_t, 64>;
// A signature as r then s, 32 bytes each, most significant byte first.
using P256Signature = std::array<std::uint8_t, 64>;

// SHA-256 over bytes added as they arrive.
class Sha256 {
 public:
  Sha256();
  ~Sha256();

  void Add(const void* bytes, std::size_t count);
  // The digest of everything added; the hash then starts again empty.
  Sha256Digest Finish();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// Whether `signature` is the key's ECDSA signature of the SHA-256 of `message`. False too
// when the key is no point of the curve.
bool VerifyP256(const P256PublicKey& key, std::string_view message, const P256Signature& signature);

}  // namespace platform
