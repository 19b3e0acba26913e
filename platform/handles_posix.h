#pragma once

#include <curl/curl.h>
#include <openssl/bn.h>
#include <openssl/ecdsa.h>
#include <openssl/evp.h>
#include <openssl/param_build.h>

#include <memory>

namespace platform {

// The native build's handles of the libraries it calls, each owned by a std::unique_ptr that
// frees it as its library asks. libcurl's easy and multi handles are both `void` to C++, so
// each has an owner type of its own.
struct Free {
  void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
  void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
  void operator()(EVP_PKEY_CTX* context) const { EVP_PKEY_CTX_free(context); }
  void operator()(OSSL_PARAM_BLD* builder) const { OSSL_PARAM_BLD_free(builder); }
  void operator()(OSSL_PARAM* params) const { OSSL_PARAM_free(params); }
  void operator()(ECDSA_SIG* signature) const { ECDSA_SIG_free(signature); }
  void operator()(BIGNUM* number) const { BN_free(number); }
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
template <class T>
using Owned = std::unique_ptr<T, Free>;

struct CurlEasyCleanup {
  void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
struct CurlMultiCleanup {
  void operator()(CURLM* multi) const { curl_multi_cleanup(multi); }
};
using CurlEasy = std::unique_ptr<CURL, CurlEasyCleanup>;
using CurlMulti = std::unique_ptr<CURLM, CurlMultiCleanup>;

}  // namespace platform
