#include "platform/base64.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(Base64Test, EncodesAsHttpCredentialsTravel) {
  const struct {
    std::string bytes;
    const char* text;
  } cases[] = {
      // RFC 4648's vectors: every length of the last group, so every padding.
      {"", ""},
      {"f", "Zg=="},
      {"fo", "Zm8="},
      {"foo", "Zm9v"},
      {"foob", "Zm9vYg=="},
      {"fooba", "Zm9vYmE="},
      {"foobar", "Zm9vYmFy"},
      {std::string("\0\xff\xfe", 3), "AP/+"},  // high bits and the last two letters
      {"quarn:482vbn%^&VBN", "cXVhcm46NDgydmJuJV4mVkJO"},
  };
  for (const auto& c : cases) EXPECT_EQ(platform::Base64(c.bytes), c.text) << c.bytes;
}

}  // namespace
