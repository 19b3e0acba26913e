#include "engine/release_manifest.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Made by veldra-publish keygen and veldra-publish --sign: the system's verifier (BCrypt on
// Windows) must take what libcrypto signed.
constexpr const char* kPublisherKey =
    "p256:dedc2bba67fef7b9eba3f3beb7be8009869c4b022cccdb1ad743d50d7720067dece2d74385c184f669c3c4"
    "35d19c2a1773b5630bc137b80351696a345396926f\n";
constexpr const char* kOtherKey =
    "p256:6b17d1f2e12c4247f8bce6e563a440f277037d812deb33a0f4a13945d898c2964fe342e2fe1a7f9b8ee7eb"
    "4a7c0f9e162bce33576b315ececbb6406837bf51f5";
const std::string kBody =
    "veldra-release 1\n"
    "release 1\n"
    "published 2026-12-10T05:27:16Z\n"
    "file b4b384f87cde591962920da1623b25bb21eab85e3bb50b421a6fc931cea7c996 41 _a_txt.ppk\n"
    "file 161311f3084dc4b45ac79b41aa376c27e75888c27fcf29329a9b07ea81a4b1c2 37 filelist.log\n"
    "file 07405ac86f7dabda3f142826faa20020aab474f1c4e554b60ad711cc2bbbe818 36 pserv.log\n";
const std::string kSignatureLine =
    "signature ae3a694d639f0e8cf49df229a295655573f24d440ba7bcc24ef63b8281256cfdf367e9b9fbc28f4fc3"
    "92f9ac860744eb73aeab893c6bf24d325443cead5045f4\n";

TEST(ReleaseManifestTest, APublishersSignatureIsTakenAndItsLinesRead) {
  std::string why;
  auto manifest = ReadSignedManifest(kBody + kSignatureLine, *ParseReleaseKey(kPublisherKey), why);
  ASSERT_TRUE(manifest) << why;
  EXPECT_EQ(manifest->release, 1u);
  ASSERT_EQ(manifest->files.size(), 3u);
  EXPECT_EQ(manifest->files.at("filelist.log").size, 37u);
  EXPECT_EQ(manifest->files.at("_a_txt.ppk").sha256[0], 0xb4);
  EXPECT_EQ(UnsignedManifestText(*manifest), kBody) << "written back as it was signed";
}

TEST(ReleaseManifestTest, WhatTheKeyDidNotSignIsRefusedWithItsReason) {
  std::string changedSize = kBody;
  changedSize.replace(changedSize.find(" 41 "), 4, " 42 ");
  const struct {
    const char* what;
    std::string text;
    const char* key;
    const char* reason;
  } cases[] = {
      {"a size changed", changedSize + kSignatureLine, kPublisherKey, "not signed by"},
      {"another key", kBody + kSignatureLine, kOtherKey, "not signed by"},
      {"no signature", kBody, kPublisherKey, "cut"},
      {"cut in its signature", kBody + kSignatureLine.substr(0, 80) + "\n", kPublisherKey,
       "damaged"},
      {"empty", "", kPublisherKey, "cut"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::string why;
    EXPECT_FALSE(ReadSignedManifest(c.text, *ParseReleaseKey(c.key), why));
    EXPECT_NE(why.find(c.reason), std::string::npos) << why;
  }
}

TEST(ReleaseManifestTest, Sha256IsTheStandardOneWhateverThePieces) {
  platform::Sha256 hash;
  hash.Add("a", 1);
  hash.Add("bc", 2);
  const platform::Sha256Digest abc = hash.Finish();
  EXPECT_EQ(abc[0], 0xba);
  EXPECT_EQ(abc[31], 0xad);
  hash.Add("abc", 3);
  EXPECT_EQ(hash.Finish(), abc) << "a finished hash starts again empty";
}

}  // namespace
