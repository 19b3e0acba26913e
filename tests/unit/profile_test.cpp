#include "platform/profile.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "tests/support/scratch_folder.h"

namespace {

// Writes the file and returns a reader of it by its full path.
platform::ProfileReader Profile(const ScratchFolder& folder, const std::string& name,
                                const std::string& content) {
  folder.Write(name, content);
  return platform::ProfileReader(folder.path() + "/" + name);
}

struct Lookup {
  const char* section;
  const char* key;
  const char* fallback;
  std::size_t size;
  std::string want;
};

struct ProfileCase {
  const char* what;
  std::string content;
  std::vector<Lookup> lookups;
};

TEST(ProfileTest, TextLookups) {
  const std::string longValue(5000, 'v');
  const ProfileCase cases[] = {
      {"names ignore case and blanks around them",
       "[ErrMsg]\r\n  Title  =  Server busy  \r\n\tTab\t=\tx\t\r\n[  Skin Main  ]\r\nWidth=640\r\n",
       {{"ErrMsg", "Title", "", 256, "Server busy"},
        {"errmsg", "TITLE", "", 256, "Server busy"},
        {" ErrMsg ", "  title ", "", 256, "Server busy"},
        {"ErrMsg", "tab", "", 256, "x"},
        {"skin main", "width", "", 256, "640"},
        {"Skin  Main", "Width", "none", 256, "none"}}},
      {"a missing section or key gives the default",
       "[Msg]\r\nReady=Go\r\nBare\r\n",
       {{"Msg", "Missing", "fallback", 256, "fallback"},
        {"Other", "Ready", "fallback", 256, "fallback"},
        {"Msg", "Bare", "fallback", 256, "fallback"},
        {"Msg", "Missing", "trailing   ", 256, "trailing"},
        {"Msg", "Missing", "", 256, ""}}},
      {"an empty file gives the default", "", {{"Msg", "Ready", "fallback", 256, "fallback"}}},
      {"the first section and the first key of a name win",
       "[Zone]\r\nName=first\r\nName=second\r\nLater\r\nLater=x\r\n"
       "[Other]\r\n[zone]\r\nName=third\r\nOnlyHere=y\r\n",
       {{"Zone", "Name", "", 256, "first"},
        {"Zone", "Later", "dflt", 256, "dflt"},
        {"Zone", "OnlyHere", "dflt", 256, "dflt"}}},
      {"quotes are removed only in matching pairs",
       "[Q]\r\nd=\"double\"\r\ns='single'\r\nmixed=\"a'\r\nlone=\"\r\n"
       "inner=a\"b\"\r\npadded=\"  x  \"\r\nempty=\"\"\r\n",
       {{"Q", "d", "", 256, "double"},
        {"Q", "s", "", 256, "single"},
        {"Q", "mixed", "", 256, "\"a'"},
        {"Q", "lone", "", 256, "\""},
        {"Q", "inner", "", 256, "a\"b\""},
        {"Q", "padded", "", 256, "  x  "},
        {"Q", "empty", "dflt", 256, ""},
        {"Q", "missing", "\"quoted default\"", 256, "quoted default"}}},
      {"text is cut to the buffer less one",
       "[S]\r\nk=value\r\nlong=" + longValue + "\r\nafter=ok\r\n",
       {{"S", "k", "dflt", 0, ""},
        {"S", "k", "dflt", 1, ""},
        {"S", "k", "dflt", 2, "v"},
        {"S", "k", "dflt", 6, "value"},
        {"S", "missing", "dflt", 3, "df"},
        {"S", "long", "", 6000, longValue},
        {"S", "long", "", 256, longValue.substr(0, 255)},
        {"S", "after", "", 256, "ok"}}},
      {"line feeds", "[S]\na=1\n\nb=2", {{"S", "a", "", 256, "1"}, {"S", "b", "", 256, "2"}}},
      {"carriage returns", "[S]\ra=1\rb=2\r", {{"S", "a", "", 256, "1"}, {"S", "b", "", 256, "2"}}},
      {"a byte order mark", "\xEF\xBB\xBF[S]\r\na=1\r\n", {{"S", "a", "", 256, "1"}}},
      {"comments", "[S]\r\n; a=commented\r\n;[T]\r\na=live\r\n", {{"S", "a", "", 256, "live"}}},
  };
  for (const ProfileCase& c : cases) {
    SCOPED_TRACE(c.what);
    ScratchFolder folder;
    auto profile = Profile(folder, "patch.sys", c.content);
    for (const Lookup& lookup : c.lookups) {
      EXPECT_EQ(profile.String(lookup.section, lookup.key, lookup.fallback, lookup.size),
                lookup.want)
          << "[" << lookup.section << "] " << lookup.key << ", " << lookup.size << " bytes";
    }
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
