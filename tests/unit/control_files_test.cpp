#include "engine/control_files.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "engine/md5.h"
#include "engine/pserv_log.h"
#include "tests/support/patch_sys.h"
#include "tests/support/scratch_folder.h"

namespace {

const std::string kPortalPage =
    "\r\n  <!DOCTYPE HTML>\n<html><head><title>Sign in</title></head><body>Room number "
    "<input name=room></body></html>\n";

// Each file's check against what a server publishes and what a network may put in its place.
// An empty `why` is a sound file; otherwise the reason starts with it.
struct Case {
  const char* what;
  std::string bytes;
  std::string why;
};

TEST(ControlFilesTest, PatchSysMustNameAZoneWithAServerUnlessTheServerIsFixed) {
  ScratchFolder folder;
  const std::string zoneless = "[Msg]\r\nUpdateServerList=Update\r\n";
  const Case cases[] = {
      {"a zone with its server", ZoneConfig("Live", {"a.example:2101/live"}), ""},
      {"a comment and a byte order mark first",
       "\xEF\xBB\xBF; the patcher's settings\r\n\r\n" + ZoneConfig("Live", {"a.example"}), ""},
      {"the combo list's zones, Zone0 empty",
       "[Combo]\r\nZone1=Test\r\nZone2=Live\r\n[Live]\r\nServer1=a.example\r\n", ""},
      {"a portal's page", kPortalPage, kWebPageAnswer},
      {"a page of another kind", "{\"error\": \"sign in\"}\r\n[Combo]\r\nZone0=Live\r\n",
       "it is not a configuration"},
      {"binary", ZoneConfig("Live", {"a.example"}) + std::string("\0\1", 2), "it is not text"},
      {"no zone", zoneless, "it names no zone"},
      {"a zone without a server", ZoneConfig("Live", {}), "none of its zones lists a server"},
      {"a list that skips Zone1", "[Combo]\r\nZone2=Live\r\n[Live]\r\nServer1=a.example\r\n",
       "it names no zone"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    folder.Write("patch.sys.part", c.bytes);
    const std::optional<std::string> why = WhyNotPatchSys("patch.sys.part", false);
    EXPECT_EQ(why.value_or("").substr(0, c.why.size()), c.why);
    EXPECT_EQ(why.has_value(), !c.why.empty()) << why.value_or("");
  }
  // common\Release.ini names the server: the configuration needs no zone, but stays one.
  folder.Write("patch.sys.part", zoneless);
  EXPECT_EQ(WhyNotPatchSys("patch.sys.part", true), std::nullopt);
  folder.Write("patch.sys.part", kPortalPage);
  EXPECT_EQ(WhyNotPatchSys("patch.sys.part", true), kWebPageAnswer);
}

TEST(ControlFilesTest, PservLogAndVersionFilesKeepTheirLayouts) {
  const Digest digest{};
  const std::string header = PservLogBytes(digest, digest, {});
  const Case pservLogs[] = {
      {"servers with ports and folders",
       PservLogBytes(digest, digest, {{"Server1", "a.example:2101/live"}, {"S2", "10.0.0.1"}}), ""},
      {"no server list, as published without one", header, ""},
      {"a portal's page", kPortalPage, kWebPageAnswer},
      {"cut in its header", header.substr(0, 35), "it is 35 bytes, shorter than its header"},
      {"a line that is no entry", header + "Server1=a.example\r\n<p>sign in</p>\r\n",
       "its server list holds a line"},
      {"an entry that is no host", header + "Server1=<a href=\"x\">\r\n",
       "its server list holds a line"},
      {"binary after the header", header + std::string("S=a\0", 4), "its server list is not"},
  };
  for (const Case& c : pservLogs) {
    SCOPED_TRACE(c.what);
    const std::optional<std::string> why = WhyNotPservLog(c.bytes);
    EXPECT_EQ(why.value_or("").substr(0, c.why.size()), c.why);
    EXPECT_EQ(why.has_value(), !c.why.empty()) << why.value_or("");
  }
  const Case versions[] = {
      {"a version and a folder", "1.5\r\nlive/patch", ""},
      {"blanks first", " \r\n 2", ""},
      {"a fraction alone", ".5", ""},
      {"a portal's page", kPortalPage, kWebPageAnswer},
      {"empty", "", "it does not start with a version number"},
      {"words", "version 2", "it does not start with a version number"},
      {"binary", std::string("1\0", 2), "it is not text"},
  };
  for (const Case& c : versions) {
    SCOPED_TRACE(c.what);
    const std::optional<std::string> why = WhyNotVersionFile(c.bytes);
    EXPECT_EQ(why.value_or("").substr(0, c.why.size()), c.why);
    EXPECT_EQ(why.has_value(), !c.why.empty()) << why.value_or("");
  }
}

// filelist.log is fetched for the digest pserv.log announced, which no page can forge.
TEST(ControlFilesTest, FileListMustBeTheAnnouncedOne) {
  ScratchFolder folder;
  const std::string list = "header\r\nheader\r\n";
  const FileCheck check = FileListCheck(DigestOfBytes(list));
  const Case cases[] = {
      {"the announced list", list, ""},
      {"a portal's page", kPortalPage, kWebPageAnswer},
      {"another list", list + std::string(16, '\0') + "\\a\r\n",
       "its MD5 is not the one pserv.log announces"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    folder.Write("filelist.log.part", c.bytes);
    const std::optional<std::string> why = check.unsound("filelist.log.part");
    EXPECT_EQ(why.value_or("").substr(0, c.why.size()), c.why);
    EXPECT_EQ(why.has_value(), !c.why.empty()) << why.value_or("");
  }
}

}  // namespace
