#include "platform/profile.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "tests/support/scratch_folder.h"

namespace {

// Writes the file and returns a reader of it by its full path.
platform::ProfileReader Profile(const ScratchFolder& folder, const std::string& name,
                                const std::string& content) {
  folder.Write(name, content);
  return platform::ProfileReader(folder.path() + "/" + name);
}

// Files of the lookups below, each written as patch.sys before its lookup.
const std::string kBlanks =
    "[ErrMsg]\r\n  Title  =  Server busy  \r\n\tTab\t=\tx\t\r\n[  Skin Main  ]\r\nWidth=640\r\n";
const std::string kBare = "[Msg]\r\nReady=Go\r\nBare\r\n";
const std::string kEmpty;
const std::string kRepeated =
    "[Zone]\r\nName=first\r\nName=second\r\nLater\r\nLater=x\r\n"
    "[Other]\r\n[zone]\r\nName=third\r\nOnlyHere=y\r\n";
const std::string kQuotes =
    "[Q]\r\nd=\"double\"\r\ns='single'\r\nmixed=\"a'\r\nlone=\"\r\n"
    "inner=a\"b\"\r\npadded=\"  x  \"\r\nempty=\"\"\r\n";
const std::string kLongValue(5000, 'v');
const std::string kLong = "[S]\r\nk=value\r\nlong=" + kLongValue + "\r\nafter=ok\r\n";
const std::string kLineFeeds = "[S]\na=1\n\nb=2";
const std::string kReturns = "[S]\ra=1\rb=2\r";
const std::string kByteOrderMark = "\xEF\xBB\xBF[S]\r\na=1\r\n";
const std::string kComments = "[S]\r\n; a=commented\r\n;[T]\r\na=live\r\n";

struct Lookup {
  const std::string& file;
  const char* section;
  const char* key;
  const char* fallback;
  std::string want;
  std::size_t size = 256;  // the buffer, with room for the terminating zero
};

TEST(ProfileTest, TextLookups) {
  const Lookup lookups[] = {
      // Names ignore case and the blanks around them.
      {kBlanks, "ErrMsg", "Title", "", "Server busy"},
      {kBlanks, "errmsg", "TITLE", "", "Server busy"},
      {kBlanks, " ErrMsg ", "  title ", "", "Server busy"},
      {kBlanks, "ErrMsg", "tab", "", "x"},
      {kBlanks, "skin main", "width", "", "640"},
      {kBlanks, "Skin  Main", "Width", "none", "none"},
      // A missing section or key gives the default, without its trailing blanks.
      {kBare, "Msg", "Missing", "fallback", "fallback"},
      {kBare, "Other", "Ready", "fallback", "fallback"},
      {kBare, "Msg", "Bare", "fallback", "fallback"},
      {kBare, "Msg", "Missing", "trailing   ", "trailing"},
      {kBare, "Msg", "Missing", "", ""},
      {kEmpty, "Msg", "Ready", "fallback", "fallback"},
      // The first section and the first key of a name win.
      {kRepeated, "Zone", "Name", "", "first"},
      {kRepeated, "Zone", "Later", "dflt", "dflt"},
      {kRepeated, "Zone", "OnlyHere", "dflt", "dflt"},
      // Quotes are removed only in matching pairs.
      {kQuotes, "Q", "d", "", "double"},
      {kQuotes, "Q", "s", "", "single"},
      {kQuotes, "Q", "mixed", "", "\"a'"},
      {kQuotes, "Q", "lone", "", "\""},
      {kQuotes, "Q", "inner", "", "a\"b\""},
      {kQuotes, "Q", "padded", "", "  x  "},
      {kQuotes, "Q", "empty", "dflt", ""},
      {kQuotes, "Q", "missing", "\"quoted default\"", "quoted default"},
      // Text is cut to the buffer less one.
      {kLong, "S", "k", "dflt", "", 0},
      {kLong, "S", "k", "dflt", "", 1},
      {kLong, "S", "k", "dflt", "v", 2},
      {kLong, "S", "k", "dflt", "value", 6},
      {kLong, "S", "missing", "dflt", "df", 3},
      {kLong, "S", "long", "", kLongValue, 6000},
      {kLong, "S", "long", "", kLongValue.substr(0, 255)},
      {kLong, "S", "after", "", "ok"},
      // Lines end in either byte or both; a byte order mark and comments are passed over.
      {kLineFeeds, "S", "a", "", "1"},
      {kLineFeeds, "S", "b", "", "2"},
      {kReturns, "S", "a", "", "1"},
      {kReturns, "S", "b", "", "2"},
      {kByteOrderMark, "S", "a", "", "1"},
      {kComments, "S", "a", "", "live"},
  };
  ScratchFolder folder;
  for (const Lookup& lookup : lookups) {
    auto profile = Profile(folder, "patch.sys", lookup.file);
    EXPECT_EQ(profile.String(lookup.section, lookup.key, lookup.fallback, lookup.size), lookup.want)
        << "[" << lookup.section << "] " << lookup.key << ", " << lookup.size << " bytes, of "
        << testing::PrintToString(lookup.file.substr(0, 80));
  }
}

TEST(ProfileTest, AMissingFileOrFolderGivesTheDefault) {
  ScratchFolder folder;
  platform::ProfileReader absent(folder.path() + "/absent.ini");
  EXPECT_EQ(absent.String("Msg", "Ready", "fallback", 256), "fallback");
  EXPECT_EQ(absent.Int("Msg", "Ready", 7), 7);
  platform::ProfileReader noFolder(folder.path() + "/common/Release.ini");
  EXPECT_EQ(noFolder.String("FTP", "Host", "none", 256), "none");
}

TEST(ProfileTest, BackslashPathFromTheCurrentFolder) {
  ScratchFolder folder;
  folder.Write("patch.sys", "[Button3]\r\nExe=game.exe\r\n");
  platform::ProfileReader profile(folder.path() + "\\patch.sys");
  EXPECT_EQ(profile.String("Button3", "Exe", "", 256), "game.exe");
}

TEST(ProfileTest, AReplacedFileIsReadAgain) {
  ScratchFolder folder;
  auto profile = Profile(folder, "patch.sys", "[S]\r\nk=old\r\n");
  EXPECT_EQ(profile.String("S", "k", "", 256), "old");
  folder.Write("patch.sys", "[S]\r\nk=new\r\n");
  EXPECT_EQ(profile.String("S", "k", "", 256), "new");
}

TEST(ProfileTest, IntegersAreReadFromTheStartOfTheText) {
  ScratchFolder folder;
  auto profile = Profile(folder, "patch.sys",
                         "[N]\r\nplain=42\r\nneg=-12\r\nplus=+5\r\nquoted=\" 7\"\r\ntail=12abc\r\n"
                         "word=abc\r\nempty=\r\nhex=0x10\r\nwrap=4294967297\r\nbig=2147483648\r\n"
                         "gap=- 5\r\n");
  const std::pair<const char*, int> expected[] = {
      {"plain", 42},   {"neg", -12}, {"plus", 5}, {"quoted", 7},
      {"tail", 12},    {"word", 0},  {"gap", 0},  {"empty", -1},
      {"missing", -1}, {"hex", 16},  {"wrap", 1}, {"big", -2147483647 - 1},
  };
  for (const auto& [key, want] : expected) EXPECT_EQ(profile.Int("N", key, -1), want) << key;
}

}  // namespace
