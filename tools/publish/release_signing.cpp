#include "tools/publish/release_signing.h"

#include <fcntl.h>
#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/ec.h>
#include <openssl/ecdsa.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <limits>

#include "engine/release_check.h"
#include "engine/release_manifest.h"
#include "tools/publish/input_files.h"
#include "tools/publish/publish_error.h"
#include "tools/publish/served_file.h"
#include "tools/publish/unique_fd.h"

namespace fs = std::filesystem;

namespace {

struct Free {
  void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
  void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
  void operator()(ECDSA_SIG* signature) const { ECDSA_SIG_free(signature); }
  void operator()(BIO* bio) const { BIO_free(bio); }
  void operator()(std::FILE* file) const { std::fclose(file); }
};
template <class T>
using Owned = std::unique_ptr<T, Free>;

std::string Shown(const fs::path& file) { return Quoted(file.string()); }

// The key's point as the patcher carries it, from the uncompressed encoding 04 || x || y.
platform::P256PublicKey PointOf(EVP_PKEY* key) {
  std::uint8_t encoded[65];
  std::size_t length = 0;
  if (EVP_PKEY_get_octet_string_param(key, OSSL_PKEY_PARAM_PUB_KEY, encoded, sizeof encoded,
                                      &length) != 1 ||
      length != sizeof encoded || encoded[0] != 0x04) {
    throw PublishError("the signing key has no P-256 public point");
  }
  platform::P256PublicKey point;
  std::copy(encoded + 1, encoded + 65, point.begin());
  return point;
}

void WriteNewFile(const fs::path& file, std::string_view bytes, mode_t mode) {
  UniqueFd fd(open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode));
  if (!fd.IsOpen()) {
    throw PublishError("cannot create " + Shown(file) + " (a key file is never replaced)");
  }
  if (fchmod(fd.get(), mode) != 0 ||
      write(fd.get(), bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()) ||
      fsync(fd.get()) != 0 || !fd.Close()) {
    fs::remove(file);
    throw PublishError("cannot write " + Shown(file));
  }
}

// Told when the folder's release.sig cannot give the next number: without it, a publish
// would start again at 1, and every player's patcher would refuse it as older.
std::string UntrustedPrevious(const fs::path& previous, const std::string& why) {
  return Shown(previous) + " cannot be trusted (" + why +
         "), so the next release number is not known; nothing was written. Restore it from a "
         "backup of the server folder, or from the game folder of a player who patched last "
         "(its localRelease.sig is a copy of the release.sig that player accepted). If another "
         "key signed it, sign with that key: the players' patchers carry its public key and "
         "refuse releases signed by any other";
}

std::string UtcNow() {
  std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
  std::tm utc{};
  gmtime_r(&now, &utc);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return text;
}

ManifestEntry EntryOf(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) throw PublishError("cannot read " + Shown(file) + " to sign it");
  platform::Sha256 hash;
  ManifestEntry entry;
  char block[1 << 16];
  while (in.read(block, sizeof block) || in.gcount() > 0) {
    hash.Add(block, static_cast<std::size_t>(in.gcount()));
    entry.size += static_cast<std::uint64_t>(in.gcount());
  }
  entry.sha256 = hash.Finish();
  return entry;
}

}  // namespace

struct SigningKey::Key {
  Owned<EVP_PKEY> key;
};

SigningKey::SigningKey(const fs::path& file) : key_(std::make_unique<Key>()) {
  struct stat info {};
  if (stat(file.c_str(), &info) != 0) throw PublishError("no signing key at " + Shown(file));
  if ((info.st_mode & (S_IRWXG | S_IRWXO)) != 0) {
    throw PublishError("the signing key " + Shown(file) +
                       " may be read by others; make it private first (chmod 600)");
  }
  Owned<std::FILE> in(std::fopen(file.c_str(), "rb"));
  if (in) key_->key.reset(PEM_read_PrivateKey(in.get(), nullptr, nullptr, nullptr));
  if (!key_->key || !EVP_PKEY_is_a(key_->key.get(), "EC")) {
    throw PublishError(Shown(file) + " holds no P-256 private key");
  }
  PointOf(key_->key.get());
}

SigningKey::~SigningKey() = default;

platform::P256PublicKey SigningKey::PublicKey() const { return PointOf(key_->key.get()); }

platform::P256Signature SigningKey::Sign(std::string_view message) const {
  Owned<EVP_MD_CTX> context(EVP_MD_CTX_new());
  std::size_t length = 0;
  const auto* bytes = reinterpret_cast<const unsigned char*>(message.data());
  if (!context ||
      EVP_DigestSignInit(context.get(), nullptr, EVP_sha256(), nullptr, key_->key.get()) != 1 ||
      EVP_DigestSign(context.get(), nullptr, &length, bytes, message.size()) != 1) {
    throw PublishError("libcrypto could not sign the release");
  }
  std::vector<unsigned char> der(length);
  if (EVP_DigestSign(context.get(), der.data(), &length, bytes, message.size()) != 1) {
    throw PublishError("libcrypto could not sign the release");
  }
  const unsigned char* at = der.data();
  Owned<ECDSA_SIG> parsed(d2i_ECDSA_SIG(nullptr, &at, static_cast<long>(length)));
  platform::P256Signature signature{};
  if (!parsed || BN_bn2binpad(ECDSA_SIG_get0_r(parsed.get()), signature.data(), 32) != 32 ||
      BN_bn2binpad(ECDSA_SIG_get0_s(parsed.get()), signature.data() + 32, 32) != 32) {
    throw PublishError("libcrypto gave a signature that is no P-256 one");
  }
  return signature;
}

void MakeKeyPair(const fs::path& file) {
  Owned<EVP_PKEY> key(EVP_EC_gen("P-256"));
  Owned<BIO> pem(BIO_new(BIO_s_mem()));
  if (!key || !pem ||
      PEM_write_bio_PrivateKey(pem.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr) != 1) {
    throw PublishError("libcrypto could not make a P-256 key");
  }
  char* bytes = nullptr;
  long length = BIO_get_mem_data(pem.get(), &bytes);
  fs::path publicFile = file;
  publicFile += ".pub";
  if (fs::exists(publicFile)) {
    throw PublishError(Shown(publicFile) + " exists; a key file is never replaced");
  }
  WriteNewFile(file, std::string_view(bytes, static_cast<std::size_t>(length)), 0600);
  WriteNewFile(publicFile, ReleaseKeyText(PointOf(key.get())) + "\n", 0644);
}

std::uint64_t NextReleaseNumber(const fs::path& serverDir, const SigningKey& key) {
  const fs::path previous = serverDir / kManifestName;
  std::error_code error;
  const fs::file_status status = fs::status(previous, error);
  if (status.type() == fs::file_type::not_found) return 1;
  if (error) throw PublishError(UntrustedPrevious(previous, error.message()));
  if (!fs::is_regular_file(status)) throw PublishError(UntrustedPrevious(previous, "no file"));
  const std::uintmax_t size = fs::file_size(previous, error);
  if (error || size > kLargestManifest) {
    throw PublishError(UntrustedPrevious(previous, "larger than any release manifest"));
  }
  std::string why;
  std::optional<ReleaseManifest> manifest =
      ReadSignedManifest(ReadWhole(previous), key.PublicKey(), why);
  if (!manifest) throw PublishError(UntrustedPrevious(previous, why));
  if (manifest->release == std::numeric_limits<std::uint64_t>::max()) {
    throw PublishError(Shown(previous) + " is release " + std::to_string(manifest->release) +
                       ", the last number a release can have; nothing was written. A later "
                       "release needs a new key pair, patchers built with it, and the players' "
                       "localRelease.log and localRelease.sig removed");
  }
  return manifest->release + 1;
}

void SignRelease(const fs::path& serverDir, const std::vector<std::string>& names,
                 const SigningKey& key, std::uint64_t release) {
  ReleaseManifest manifest;
  manifest.release = release;
  manifest.published = UtcNow();
  for (const std::string& name : names) manifest.files[name] = EntryOf(serverDir / name);
  const std::string body = UnsignedManifestText(manifest);
  ReplaceFile(serverDir, "release.sig", body + SignatureLine(key.Sign(body)));
  SyncFolder(serverDir);
}
