#include "platform/profile.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/scratch_folder.h"

namespace {

// Writes the file and returns a reader of it by its full path.
platform::ProfileReader Profile(const ScratchFolder& folder, const std::string& name,
                                const std::string& content) {
  folder.Write(name, content);
  return platform::ProfileReader(folder.path() + "/" + name);
}

TEST(ProfileTest, NamesIgnoreCaseAndBlanksAroundThem) {
  ScratchFolder folder;
  auto profile = Profile(folder, "patch.sys",
                         "[ErrMsg]\r\n  Title  =  Server busy  \r\n\tTab\t=\tx\t\r\n"
                         "[  Skin Main  ]\r\nWidth=640\r\n");
  EXPECT_EQ(profile.String("ErrMsg", "Title", "", 256), "Server busy");
  EXPECT_EQ(profile.String("errmsg", "TITLE", "", 256), "Server busy");
  EXPECT_EQ(profile.String(" ErrMsg ", "  title ", "", 256), "Server busy");
  EXPECT_EQ(profile.String("ErrMsg", "tab", "", 256), "x");
  EXPECT_EQ(profile.String("skin main", "width", "", 256), "640");
  EXPECT_EQ(profile.String("Skin  Main", "Width", "none", 256), "none");
}

TEST(ProfileTest, MissingFileSectionOrKeyGivesTheDefault) {
  ScratchFolder folder;
  auto profile = Profile(folder, "patch.sys", "[Msg]\r\nReady=Go\r\nBare\r\n");
  EXPECT_EQ(profile.String("Msg", "Missing", "fallback", 256), "fallback");
  EXPECT_EQ(profile.String("Other", "Ready", "fallback", 256), "fallback");
  EXPECT_EQ(profile.String("Msg", "Bare", "fallback", 256), "fallback");
  EXPECT_EQ(profile.String("Msg", "Missing", "trailing   ", 256), "trailing");
  EXPECT_EQ(profile.String("Msg", "Missing", "", 256), "");

  platform::ProfileReader absent(folder.path() + "/absent.ini");
  EXPECT_EQ(absent.String("Msg", "Ready", "fallback", 256), "fallback");
  EXPECT_EQ(absent.Int("Msg", "Ready", 7), 7);
  platform::ProfileReader noFolder(folder.path() + "/common/Release.ini");
  EXPECT_EQ(noFolder.String("FTP", "Host", "none", 256), "none");

  auto empty = Profile(folder, "empty.ini", "");
  EXPECT_EQ(empty.String("Msg", "Ready", "fallback", 256), "fallback");
}

TEST(ProfileTest, FirstSectionAndFirstKeyOfANameWin) {
  ScratchFolder folder;
  auto profile = Profile(folder, "patch.sys",
                         "[Zone]\r\nName=first\r\nName=second\r\nLater\r\nLater=x\r\n"
                         "[Other]\r\n[zone]\r\nName=third\r\nOnlyHere=y\r\n");
  EXPECT_EQ(profile.String("Zone", "Name", "", 256), "first");
  EXPECT_EQ(profile.String("Zone", "Later", "dflt", 256), "dflt");
  EXPECT_EQ(profile.String("Zone", "OnlyHere", "dflt", 256), "dflt");
}

TEST(ProfileTest, QuotesAreRemovedOnlyInMatchingPairs) {
  ScratchFolder folder;
  auto profile = Profile(folder, "patch.sys",
                         "[Q]\r\nd=\"double\"\r\ns='single'\r\nmixed=\"a'\r\nlone=\"\r\n"
                         "inner=a\"b\"\r\npadded=\"  x  \"\r\nempty=\"\"\r\n");
  EXPECT_EQ(profile.String("Q", "d", "", 256), "double");
  EXPECT_EQ(profile.String("Q", "s", "", 256), "single");
  EXPECT_EQ(profile.String("Q", "mixed", "", 256), "\"a'");
  EXPECT_EQ(profile.String("Q", "lone", "", 256), "\"");
  EXPECT_EQ(profile.String("Q", "inner", "", 256), "a\"b\"");
  EXPECT_EQ(profile.String("Q", "padded", "", 256), "  x  ");
  EXPECT_EQ(profile.String("Q", "empty", "dflt", 256), "");
  EXPECT_EQ(profile.String("Q", "missing", "\"quoted default\"", 256), "quoted default");
}

TEST(ProfileTest, TextIsCutToTheBufferLessOne) {
  ScratchFolder folder;
  std::string longValue(5000, 'v');
  auto profile =
      Profile(folder, "patch.sys", "[S]\r\nk=value\r\nlong=" + longValue + "\r\nafter=ok\r\n");
  EXPECT_EQ(profile.String("S", "k", "dflt", 0), "");
  EXPECT_EQ(profile.String("S", "k", "dflt", 1), "");
  EXPECT_EQ(profile.String("S", "k", "dflt", 2), "v");
  EXPECT_EQ(profile.String("S", "k", "dflt", 6), "value");
  EXPECT_EQ(profile.String("S", "missing", "dflt", 3), "df");
  EXPECT_EQ(profile.String("S", "long", "", 6000), longValue);
  EXPECT_EQ(profile.String("S", "long", "", 256), longValue.substr(0, 255));
  EXPECT_EQ(profile.String("S", "after", "", 256), "ok");
}

TEST(ProfileTest, LineEndsAndMarks) {
  ScratchFolder folder;
  auto lf = Profile(folder, "lf.ini", "[S]\na=1\n\nb=2");
  EXPECT_EQ(lf.String("S", "a", "", 256), "1");
  EXPECT_EQ(lf.String("S", "b", "", 256), "2");
  auto cr = Profile(folder, "cr.ini", "[S]\ra=1\rb=2\r");
  EXPECT_EQ(cr.String("S", "a", "", 256), "1");
  EXPECT_EQ(cr.String("S", "b", "", 256), "2");
  auto bom = Profile(folder, "bom.ini", "\xEF\xBB\xBF[S]\r\na=1\r\n");
  EXPECT_EQ(bom.String("S", "a", "", 256), "1");
  auto comment = Profile(folder, "c.ini", "[S]\r\n; a=commented\r\n;[T]\r\na=live\r\n");
  EXPECT_EQ(comment.String("S", "a", "", 256), "live");
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
  EXPECT_EQ(profile.Int("N", "plain", -1), 42);
  EXPECT_EQ(profile.Int("N", "neg", -1), -12);
  EXPECT_EQ(profile.Int("N", "plus", -1), 5);
  EXPECT_EQ(profile.Int("N", "quoted", -1), 7);
  EXPECT_EQ(profile.Int("N", "tail", -1), 12);
  EXPECT_EQ(profile.Int("N", "word", -1), 0);
  EXPECT_EQ(profile.Int("N", "gap", -1), 0);
  EXPECT_EQ(profile.Int("N", "empty", -1), -1);
  EXPECT_EQ(profile.Int("N", "missing", -1), -1);
  EXPECT_EQ(profile.Int("N", "hex", -1), 16);
  EXPECT_EQ(profile.Int("N", "wrap", -1), 1);
  EXPECT_EQ(profile.Int("N", "big", -1), -2147483647 - 1);
}

}  // namespace
