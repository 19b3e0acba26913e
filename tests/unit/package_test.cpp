#include "engine/package.h"

#include <gtest/gtest.h>

namespace {

std::string EndOf(const std::string& trailer) { return trailer.substr(trailer.size() - 8); }

TEST(PackageTrailerTest, RoundTrip) {
  std::string trailer = PackageTrailer("data\\maps\\a.dat");
  ASSERT_EQ(trailer.size(), 1 + 15 + 1 + 8u);
  EXPECT_EQ(EndOf(trailer).substr(4), std::string("\x32\xdf\xb8\x00", 4));
  EXPECT_EQ(TrailerLengthOf(EndOf(trailer), 1000), trailer.size());
  EXPECT_EQ(TargetOfTrailer(trailer), "data\\maps\\a.dat");
}

TEST(PackageTrailerTest, LengthAndMagicMustFitThePackage) {
  std::string end = EndOf(PackageTrailer("a.dat"));  // L = 15
  EXPECT_EQ(TrailerLengthOf(end, 15), 15u) << "a package may be all trailer";
  EXPECT_FALSE(TrailerLengthOf(end, 14)) << "L larger than the package";
  EXPECT_FALSE(TrailerLengthOf(end.substr(1), 100)) << "fewer than 8 bytes";
  std::string wrongMagic = end;
  wrongMagic[7] = 1;
  EXPECT_FALSE(TrailerLengthOf(wrongMagic, 100));
  for (std::uint32_t small : {0u, 8u, 9u}) {
    std::string tooShort = end;
    tooShort[0] = static_cast<char>(small);
    EXPECT_FALSE(TrailerLengthOf(tooShort, 100)) << "L of " << small;
  }
  std::string huge = end;
  huge.replace(0, 4, "\xff\xff\xff\xff", 4);
  EXPECT_FALSE(TrailerLengthOf(huge, 1u << 20));
}

TEST(PackageTrailerTest, APackageCutAnywhereHasNoTrailer) {
  const std::string package = std::string("\x1f\x8b member bytes") + PackageTrailer("data\\a.dat");
  for (std::size_t length = 0; length < package.size(); ++length) {
    std::string_view cut = std::string_view(package).substr(0, length);
    if (cut.size() < 8) continue;
    EXPECT_FALSE(TrailerLengthOf(cut.substr(cut.size() - 8), cut.size())) << "cut at " << length;
  }
}

TEST(PackageTrailerTest, ExtraBytesAfterTheTargetAreNotInterpreted) {
  std::string trailer = std::string(1, '\x07') + "sub\\b.bin" + std::string("\0junk", 5);
  trailer += std::string("\x17\x00\x00\x00\x32\xdf\xb8\x00", 8);
  ASSERT_EQ(trailer.size(), 0x17u);
  EXPECT_EQ(TrailerLengthOf(EndOf(trailer), 100), 0x17u);
  EXPECT_EQ(TargetOfTrailer(trailer), "sub\\b.bin");
}

TEST(PackageTrailerTest, ATargetWithoutItsNulEndsInsideTheTrailer) {
  // The magic's last byte is 0, so the text ends within the trailer: here with the length.
  std::string trailer = std::string(1, '\0') + "ab" + std::string(54, 'x');
  trailer += std::string("\x41\x00\x00\x00\x32\xdf\xb8\x00", 8);
  ASSERT_EQ(trailer.size(), 0x41u);
  EXPECT_EQ(TargetOfTrailer(trailer), "ab" + std::string(54, 'x') + "A");
}

TEST(PackageTrailerTest, ForwardSlashesSeparateFoldersToo) {
  EXPECT_EQ(TargetOfTrailer(PackageTrailer("data/maps/a.dat")), "data\\maps\\a.dat");
}

TEST(PackageTrailerTest, TargetsOutsideTheGameFolderOrOnDevicesAreRefused) {
  const char* unsafe[] = {
      "",
      "\\windows\\a.dll",
      "/etc/passwd",
      "C:\\a.dat",
      "c:a.dat",
      "data\\a.dat:stream",
      "\\\\server\\share\\a.dat",
      "\\\\?\\C:\\a.dat",
      "..\\a.dat",
      "data\\..\\..\\a.dat",
      "data/../../a.dat",
      "data\\\\a.dat",
      "data\\",
      "data\\a.dat.",
      "data.\\a.dat",
      "data\\a.dat ",
      "data \\a.dat",
      "data\\a\tb.dat",
      "data\\a\x01.dat",
      "a<b.dat",
      "a>b.dat",
      "a\"b.dat",
      "a|b.dat",
      "a?b.dat",
      "a*b.dat",
      "CON",
      "con.txt",
      "data\\Prn.log",
      "aux",
      "NUL.tar.gz",
      "COM1",
      "com9.dat",
      "LPT0",
      "lpt5.x",
      ".",
      "data\\.",
  };
  for (const char* target : unsafe) {
    EXPECT_FALSE(TargetOfTrailer(PackageTrailer(target))) << "\"" << target << "\"";
  }
}

TEST(PackageTrailerTest, OrdinaryNamesThatLookLikeTheUnsafeOnesPass) {
  const char* safe[] = {"a.dat",      "data\\maps\\a.dat", ".hidden",   "data\\..a",
                        "a..b",       "console.log",       "COM10",     "lpt.txt",
                        "CONFIG.SYS", "nul_dev.bin",       "data\\a b", "\xe4\xf6.dat"};
  for (const char* target : safe) {
    EXPECT_EQ(TargetOfTrailer(PackageTrailer(target)), target) << "\"" << target << "\"";
  }
}

}  // namespace
