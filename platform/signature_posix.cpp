#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/ec.h>
#include <openssl/ecdsa.h>
#include <openssl/evp.h>
#include <openssl/param_build.h>

#include <vector>

#include "platform/handles_posix.h"
#include "platform/signature.h"

namespace platform {
namespace {

Owned<EVP_PKEY> PublicKeyOf(const P256PublicKey& point) {
  std::uint8_t encoded[65] = {0x04};  // an uncompressed point
  std::copy(point.begin(), point.end(), encoded + 1);
  Owned<OSSL_PARAM_BLD> builder(OSSL_PARAM_BLD_new());
  if (!builder ||
      !OSSL_PARAM_BLD_push_utf8_string(builder.get(), OSSL_PKEY_PARAM_GROUP_NAME, "prime256v1",
                                       0) ||
      !OSSL_PARAM_BLD_push_octet_string(builder.get(), OSSL_PKEY_PARAM_PUB_KEY, encoded,
                                        sizeof encoded)) {
    return nullptr;
  }
  Owned<OSSL_PARAM> params(OSSL_PARAM_BLD_to_param(builder.get()));
  Owned<EVP_PKEY_CTX> context(EVP_PKEY_CTX_new_from_name(nullptr, "EC", nullptr));
  EVP_PKEY* key = nullptr;
  if (!params || !context || EVP_PKEY_fromdata_init(context.get()) != 1 ||
      EVP_PKEY_fromdata(context.get(), &key, EVP_PKEY_PUBLIC_KEY, params.get()) != 1) {
    return nullptr;
  }
  return Owned<EVP_PKEY>(key);
}

// libcrypto takes a signature in DER.
std::vector<std::uint8_t> DerOf(const P256Signature& signature) {
  Owned<ECDSA_SIG> parsed(ECDSA_SIG_new());
  BIGNUM* r = BN_bin2bn(signature.data(), 32, nullptr);
  BIGNUM* s = BN_bin2bn(signature.data() + 32, 32, nullptr);
  if (!parsed || r == nullptr || s == nullptr || ECDSA_SIG_set0(parsed.get(), r, s) != 1) {
    BN_free(r);
    BN_free(s);
    return {};
  }
  int length = i2d_ECDSA_SIG(parsed.get(), nullptr);
  if (length <= 0) return {};
  std::vector<std::uint8_t> der(static_cast<std::size_t>(length));
  std::uint8_t* out = der.data();
  i2d_ECDSA_SIG(parsed.get(), &out);
  return der;
}

}  // namespace

struct Sha256::State {
  Owned<EVP_MD_CTX> context{EVP_MD_CTX_new()};
};

Sha256::Sha256() : state_(std::make_unique<State>()) {
  // A hash that could not start gives no digest a manifest holds, so nothing is taken.
  if (state_->context && EVP_DigestInit_ex(state_->context.get(), EVP_sha256(), nullptr) != 1) {
    state_->context.reset();
  }
}

Sha256::~Sha256() = default;

void Sha256::Add(const void* bytes, std::size_t count) {
  if (state_->context) EVP_DigestUpdate(state_->context.get(), bytes, count);
}

Sha256Digest Sha256::Finish() {
  Sha256Digest digest{};
  if (!state_->context) return digest;
  unsigned int length = 0;
  EVP_DigestFinal_ex(state_->context.get(), digest.data(), &length);
  EVP_DigestInit_ex(state_->context.get(), EVP_sha256(), nullptr);
  return digest;
}

bool VerifyP256(const P256PublicKey& key, std::string_view message,
                const P256Signature& signature) {
  Owned<EVP_PKEY> publicKey = PublicKeyOf(key);
  std::vector<std::uint8_t> der = DerOf(signature);
  Owned<EVP_MD_CTX> context(EVP_MD_CTX_new());
  if (!publicKey || der.empty() || !context ||
      EVP_DigestVerifyInit(context.get(), nullptr, EVP_sha256(), nullptr, publicKey.get()) != 1) {
    return false;
  }
  return EVP_DigestVerify(context.get(), der.data(), der.size(),
                          reinterpret_cast<const unsigned char*>(message.data()),
                          message.size()) == 1;
}

}  // namespace platform
