#include <windows.h>
// After windows.h, which it needs.
#include <bcrypt.h>

#include <vector>

#include "platform/handles_win32.h"
#include "platform/signature.h"

namespace platform {
namespace {

OwnedCryptAlgorithm OpenAlgorithm(LPCWSTR name) {
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  if (BCryptOpenAlgorithmProvider(&algorithm, name, nullptr, 0) < 0) return OwnedCryptAlgorithm();
  return OwnedCryptAlgorithm(algorithm);
}

OwnedCryptHash CreateHash(const OwnedCryptAlgorithm& algorithm) {
  BCRYPT_HASH_HANDLE hash = nullptr;
  if (!algorithm || BCryptCreateHash(algorithm.get(), &hash, nullptr, 0, nullptr, 0, 0) < 0) {
    return OwnedCryptHash();
  }
  return OwnedCryptHash(hash);
}

}  // namespace

void CloseCryptAlgorithm(void* handle) { BCryptCloseAlgorithmProvider(handle, 0); }
void DestroyCryptHash(void* handle) { BCryptDestroyHash(handle); }
void DestroyCryptKey(void* handle) { BCryptDestroyKey(handle); }

struct Sha256::State {
  OwnedCryptAlgorithm algorithm = OpenAlgorithm(BCRYPT_SHA256_ALGORITHM);
  OwnedCryptHash hash = CreateHash(algorithm);
};

// A hash that could not start gives no digest a manifest holds, so nothing is taken.
Sha256::Sha256() : state_(std::make_unique<State>()) {}

Sha256::~Sha256() = default;

void Sha256::Add(const void* bytes, std::size_t count) {
  const auto* at = static_cast<const UCHAR*>(bytes);
  while (state_->hash && count > 0) {
    ULONG chunk = count > 0x40000000 ? 0x40000000 : static_cast<ULONG>(count);
    BCryptHashData(state_->hash.get(), const_cast<UCHAR*>(at), chunk, 0);
    at += chunk;
    count -= chunk;
  }
}

Sha256Digest Sha256::Finish() {
  Sha256Digest digest{};
  if (!state_->hash) return digest;
  BCryptFinishHash(state_->hash.get(), digest.data(), static_cast<ULONG>(digest.size()), 0);
  state_->hash = CreateHash(state_->algorithm);
  return digest;
}

bool VerifyP256(const P256PublicKey& key, std::string_view message,
                const P256Signature& signature) {
  OwnedCryptAlgorithm ecdsa = OpenAlgorithm(BCRYPT_ECDSA_P256_ALGORITHM);
  std::vector<UCHAR> blob(sizeof(BCRYPT_ECCKEY_BLOB) + key.size());
  auto* header = reinterpret_cast<BCRYPT_ECCKEY_BLOB*>(blob.data());
  header->dwMagic = BCRYPT_ECDSA_PUBLIC_P256_MAGIC;
  header->cbKey = 32;
  std::copy(key.begin(), key.end(), blob.begin() + sizeof(BCRYPT_ECCKEY_BLOB));
  BCRYPT_KEY_HANDLE imported = nullptr;
  if (!ecdsa || BCryptImportKeyPair(ecdsa.get(), nullptr, BCRYPT_ECCPUBLIC_BLOB, &imported,
                                    blob.data(), static_cast<ULONG>(blob.size()), 0) < 0) {
    return false;
  }
  OwnedCryptKey publicKey(imported);
  Sha256 hash;
  hash.Add(message.data(), message.size());
  Sha256Digest digest = hash.Finish();
  return BCryptVerifySignature(
             publicKey.get(), nullptr, digest.data(), static_cast<ULONG>(digest.size()),
             const_cast<UCHAR*>(signature.data()), static_cast<ULONG>(signature.size()), 0) >= 0;
}

}  // namespace platform
