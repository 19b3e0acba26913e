#include "tools/publish/publish.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <sstream>

#include "engine/chunk_index.h"
#include "engine/file_digests.h"
#include "engine/file_list.h"
#include "engine/package.h"
#include "engine/pserv_log.h"
#include "engine/release_manifest.h"
#include "engine/server_string.h"
#include "tests/support/scratch_folder.h"
#include "tools/publish/chunk_store.h"
#include "tools/publish/chunk_uses.h"
#include "tools/publish/publish_command.h"
#include "tools/publish/publish_error.h"
#include "tools/publish/publish_options.h"
#include "tools/publish/release_signing.h"

namespace fs = std::filesystem;

namespace {

using Args = std::vector<std::string_view>;

std::string Bytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void WriteBytes(const fs::path& path, const std::string& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
  ASSERT_TRUE(out.good()) << path;
}

// Words from a small vocabulary, as text compresses.
std::string TextLike(std::size_t size, unsigned seed) {
  const char* words[] = {"patch", "server", "zone", "map", "the", "of", "file", "level", "\r\n"};
  std::mt19937 random(seed);
  std::string text;
  while (text.size() < size) {
    text += words[random() % std::size(words)];
    text += ' ';
  }
  text.resize(size);
  return text;
}

std::string RandomBytes(std::size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes(size, '\0');
  for (char& byte : bytes) byte = static_cast<char>(random());
  return bytes;
}

// Every byte value, CR, LF and NUL among them, and a gzip magic in the middle.
std::string AllByteValues() {
  std::string bytes;
  for (int value = 0; value < 256; ++value) bytes += static_cast<char>(value);
  return bytes + "\x1f\x8b\x08" + bytes;
}

std::string KeyOf(const std::string& name) {
  std::string key = "\\" + name;
  std::replace(key.begin(), key.end(), '/', '\\');
  return key;
}

struct GzipCloser {
  void operator()(gzFile file) const { gzclose(file); }
};

// The content as the patcher unpacks it: gzread, which stops at the member's end.
std::string Gunzipped(const fs::path& package) {
  std::unique_ptr<gzFile_s, GzipCloser> in(gzopen(package.c_str(), "rb"));
  EXPECT_TRUE(in) << package;
  if (!in) return "";
  std::string content;
  char buffer[65536];
  for (int got; (got = gzread(in.get(), buffer, sizeof buffer)) > 0;) content.append(buffer, got);
  return content;
}

// How many bytes the leading gzip member takes: a trailer must start right after it.
std::size_t GzipMemberLength(const std::string& package) {
  z_stream stream{};
  EXPECT_EQ(inflateInit2(&stream, 15 + 16), Z_OK);
  std::string out(1 << 16, '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(package.data()));
  stream.avail_in = static_cast<uInt>(package.size());
  int result;
  do {
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    result = inflate(&stream, Z_NO_FLUSH);
  } while (result == Z_OK);
  EXPECT_EQ(result, Z_STREAM_END);
  std::size_t length = stream.total_in;
  inflateEnd(&stream);
  return length;
}

ino_t InodeOf(const fs::path& path) {
  struct stat info {};
  EXPECT_EQ(stat(path.c_str(), &info), 0) << path;
  return info.st_ino;
}

// Names and contents of everything in a folder, temporary files included.
std::map<std::string, std::string> Contents(const fs::path& folder) {
  std::map<std::string, std::string> contents;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
    contents[entry.path().filename().string()] = entry.is_regular_file() ? Bytes(entry) : "/";
  }
  return contents;
}

class PublishTest : public testing::Test {
 protected:
  PublishOptions Options() const {
    PublishOptions options;
    options.releaseDir = release;
    options.serverDir = server;
    return options;
  }

  PublishSummary PublishRelease(const PublishOptions& options) {
    return Publish(options, [](std::size_t, std::size_t, const std::string&) {});
  }
  PublishSummary PublishRelease() { return PublishRelease(Options()); }

  fs::path PackageOf(const std::string& name) const { return server / PackageNameOf(KeyOf(name)); }

  ScratchFolder scratch;
  const fs::path release = fs::path(scratch.path()) / "release";
  const fs::path server = fs::path(scratch.path()) / "server";
};

TEST_F(PublishTest, EngineReadersGetEveryFileBack) {
  const std::map<std::string, std::string> files = {
      {"data/maps/deep/er/all_bytes.dat", AllByteValues()},
      {"data/random.bin", RandomBytes(70000, 1)},
      {"empty", ""},
      {"with blanks/a name with blanks.txt", "blank\r\n"},
      {"big/three_mb.txt", TextLike(3 << 20, 2)},
      {"veldra.exe", "MZ" + RandomBytes(5000, 3)},
      // '/' sorts before 'Z', '\' after it: the list must be in key order.
      {"order/a/x", "x"},
      {"order/aZ", "Z"},
  };
  for (const auto& [name, bytes] : files) WriteBytes(release / name, bytes);
  PublishOptions options = Options();
  options.exe = release / "veldra.exe";
  options.servers = {
      {"one", "patch1.example:2100"}, {"two", "patch2.example/live"}, {"3", "10.0.0.3"}};

  PublishSummary summary = PublishRelease(options);

  EXPECT_EQ(summary.files, files.size());
  EXPECT_EQ(summary.packagesWritten, files.size());
  const std::string fileList = Bytes(server / "filelist.log");
  std::map<std::string, Digest> byKey;
  for (const auto& [name, bytes] : files) byKey[KeyOf(name)] = DigestOfBytes(bytes);
  std::vector<ListedFile> inKeyOrder;
  for (const auto& [key, digest] : byKey) inKeyOrder.push_back({key, digest});
  EXPECT_EQ(fileList, FileListBytes(inKeyOrder));
  FileDigestMap listed;
  ReadFileList(fileList, listed);
  EXPECT_EQ(listed.size(), files.size());
  for (const auto& [name, bytes] : files) {
    const std::string key = KeyOf(name);
    FileDigests* entry = listed.Find(key);
    ASSERT_NE(entry, nullptr) << key;
    EXPECT_EQ(entry->listed, DigestOfBytes(bytes)) << key;
    const std::string package = Bytes(PackageOf(name));
    ASSERT_GE(package.size(), 2u) << key;
    EXPECT_EQ(package.substr(0, 2), "\x1f\x8b") << key;
    EXPECT_EQ(TargetOfPackage(package), key.substr(1));
    EXPECT_EQ(GzipMemberLength(package), package.size() - PackageTrailer(key.substr(1)).size())
        << key;
    EXPECT_EQ(Gunzipped(PackageOf(name)), bytes) << key;
  }
  const std::string pserv = Bytes(server / "pserv.log");
  EXPECT_EQ(FileListDigestOfPservLog(pserv), DigestOfBytes(fileList));
  EXPECT_EQ(PatcherDigestOfPservLog(pserv), DigestOfBytes(files.at("veldra.exe")));
  EXPECT_EQ(Bytes(server / "veldra.exe"), files.at("veldra.exe")) << "fetched whole, too";
  EXPECT_EQ(ServerListOfPservLog(pserv),
            (std::vector<std::string>{"patch1.example:2100", "patch2.example/live", "10.0.0.3"}));
}

TEST_F(PublishTest, PackagesCanBeReadByTheWebServer) {
  WriteBytes(release / "a.dat", "a");
  PublishRelease();
  for (const char* name : {"_a_dat.ppk", "filelist.log", "pserv.log"}) {
    EXPECT_NE(fs::status(server / name).permissions() & fs::perms::others_read, fs::perms::none)
        << name;
  }
}

TEST_F(PublishTest, ServerSettingsAreWrittenAsGiven) {
  WriteBytes(release / "a.dat", "a");
  const fs::path patchSys = fs::path(scratch.path()) / "patch.sys";
  WriteBytes(patchSys, "[Combo]\r\nZone0=Live\r\n");
  PublishOptions options = Options();
  options.required = "1.5";
  options.folder = "live/patch";
  options.latest = "1.75";
  options.patchSys = patchSys;
  options.maintenance = Maintenance::On;

  PublishRelease(options);

  EXPECT_EQ(Bytes(server / "remote.ver"), "1.5\r\nlive/patch");
  EXPECT_EQ(FolderOfRemoteVer(Bytes(server / "remote.ver")), "live/patch");
  EXPECT_EQ(Bytes(server / "latest.ver"), "1.75\r\n");
  EXPECT_EQ(Bytes(server / "patch.sys"), Bytes(patchSys));
  ASSERT_TRUE(fs::is_regular_file(server / "lock.ftp"));
  EXPECT_EQ(fs::file_size(server / "lock.ftp"), 0u);
}

TEST_F(PublishTest, WithoutFolderOrExeTheirPartsAreEmpty) {
  WriteBytes(release / "a.dat", "a");
  PublishOptions options = Options();
  options.required = "2";
  PublishRelease(options);
  EXPECT_EQ(Bytes(server / "remote.ver"), "2\r\n");
  EXPECT_EQ(PatcherDigestOfPservLog(Bytes(server / "pserv.log")), Digest{});
  EXPECT_TRUE(ServerListOfPservLog(Bytes(server / "pserv.log")).empty());
  EXPECT_FALSE(fs::exists(server / "latest.ver"));
  EXPECT_FALSE(fs::exists(server / "patch.sys"));
}

TEST_F(PublishTest, MaintenanceOffRemovesTheLockAndNoneLeavesItAsItIs) {
  WriteBytes(release / "a.dat", "a");
  PublishOptions options = Options();
  options.maintenance = Maintenance::On;
  PublishRelease(options);
  PublishRelease();
  EXPECT_TRUE(fs::exists(server / "lock.ftp")) << "no --maintenance leaves the lock";
  options.maintenance = Maintenance::Off;
  PublishRelease(options);
  EXPECT_FALSE(fs::exists(server / "lock.ftp"));
  PublishRelease(options);
  EXPECT_FALSE(fs::exists(server / "lock.ftp")) << "off without a lock is no error";
}

TEST_F(PublishTest, RepublishingRewritesOnlyTheChangedAndTheAddedFile) {
  const std::vector<std::string> unchanged = {"a.dat", "sub/b.dat", "sub/deeper/c.dat"};
  for (const std::string& name : unchanged) WriteBytes(release / name, TextLike(20000, 4));
  WriteBytes(release / "changed.dat", "before");
  PublishRelease();
  std::map<std::string, std::pair<ino_t, std::string>> before;
  for (const std::string& name : unchanged) {
    before[name] = {InodeOf(PackageOf(name)), Bytes(PackageOf(name))};
  }
  const ino_t changedBefore = InodeOf(PackageOf("changed.dat"));

  WriteBytes(release / "changed.dat", "after");
  WriteBytes(release / "sub/added.dat", "new");
  PublishSummary summary = PublishRelease();

  EXPECT_EQ(summary.packagesWritten, 2u);
  EXPECT_EQ(summary.packagesKept, unchanged.size());
  for (const std::string& name : unchanged) {
    EXPECT_EQ(InodeOf(PackageOf(name)), before[name].first) << name;
    EXPECT_EQ(Bytes(PackageOf(name)), before[name].second) << name;
  }
  EXPECT_NE(InodeOf(PackageOf("changed.dat")), changedBefore);
  EXPECT_EQ(Gunzipped(PackageOf("changed.dat")), "after");
  EXPECT_EQ(Gunzipped(PackageOf("sub/added.dat")), "new");
  FileDigestMap listed;
  ReadFileList(Bytes(server / "filelist.log"), listed);
  EXPECT_EQ(listed.size(), unchanged.size() + 2);
  EXPECT_EQ(listed.Find("\\changed.dat")->listed, DigestOfBytes("after"));
}

TEST_F(PublishTest, PackagesTheListCannotVouchForAreWrittenAgain) {
  WriteBytes(release / "deleted.dat", "d");
  WriteBytes(release / "newer.dat", "n");
  WriteBytes(release / "kept.dat", "k");
  PublishRelease();
  fs::remove(PackageOf("deleted.dat"));
  // Left by a publish that stopped before its list: it may hold other content.
  WriteBytes(PackageOf("newer.dat"), "not a package");
  fs::last_write_time(PackageOf("newer.dat"),
                      fs::last_write_time(server / "filelist.log") + std::chrono::seconds(1));

  PublishSummary summary = PublishRelease();

  EXPECT_EQ(summary.packagesWritten, 2u);
  EXPECT_EQ(summary.packagesKept, 1u);
  EXPECT_EQ(Gunzipped(PackageOf("deleted.dat")), "d");
  EXPECT_EQ(Gunzipped(PackageOf("newer.dat")), "n");
}

TEST_F(PublishTest, PackagesOfRemovedFilesStayAndAreCountedAsStale) {
  WriteBytes(release / "a.dat", "a");
  WriteBytes(release / "gone.dat", "g");
  PublishRelease();
  fs::remove(release / "gone.dat");
  PublishSummary summary = PublishRelease();
  EXPECT_EQ(summary.stalePackages, 1u);
  EXPECT_TRUE(fs::exists(PackageOf("gone.dat")));
  FileDigestMap listed;
  ReadFileList(Bytes(server / "filelist.log"), listed);
  EXPECT_EQ(listed.Find("\\gone.dat"), nullptr);
}

TEST_F(PublishTest, AFailedWriteLeavesNoPartOfAFileAndTheListsAsTheyWere) {
  WriteBytes(release / "a.dat", "a");
  WriteBytes(release / "b.dat", "b");
  PublishRelease();
  WriteBytes(release / "a.dat", "a2");
  WriteBytes(release / "b.dat", "b2");
  // A folder where b's package goes: renaming the finished package over it fails.
  fs::remove(PackageOf("b.dat"));
  fs::create_directories(PackageOf("b.dat") / "in the way");
  const std::string fileList = Bytes(server / "filelist.log");
  const std::string pserv = Bytes(server / "pserv.log");

  EXPECT_THROW(PublishRelease(), PublishError);

  EXPECT_EQ(Bytes(server / "filelist.log"), fileList);
  EXPECT_EQ(Bytes(server / "pserv.log"), pserv);
  for (const auto& [name, bytes] : Contents(server)) {
    EXPECT_FALSE(name.starts_with(".veldra-publish-")) << "a temporary file was left: " << name;
  }
}

TEST_F(PublishTest, LinksWithinTheReleaseArePublishedUnderTheirOwnNames) {
  WriteBytes(release / "real/a.dat", "content");
  fs::create_directories(release / "links");
  fs::create_symlink("../real/a.dat", release / "links/a.dat");
  fs::create_directory_symlink(release / "real", release / "mirror");

  PublishRelease();

  FileDigestMap listed;
  ReadFileList(Bytes(server / "filelist.log"), listed);
  EXPECT_EQ(listed.size(), 3u);
  for (const char* name : {"real/a.dat", "links/a.dat", "mirror/a.dat"}) {
    ASSERT_NE(listed.Find(KeyOf(name)), nullptr) << name;
    EXPECT_EQ(listed.Find(KeyOf(name))->listed, DigestOfBytes("content")) << name;
    EXPECT_EQ(TargetOfPackage(Bytes(PackageOf(name))), KeyOf(name).substr(1));
    EXPECT_EQ(Gunzipped(PackageOf(name)), "content") << name;
  }
}

TEST_F(PublishTest, AServerFolderInsideTheReleaseIsRefused) {
  WriteBytes(release / "a.dat", "a");
  PublishOptions options = Options();
  options.serverDir = release / "server";
  EXPECT_THROW(PublishRelease(options), PublishError);
  EXPECT_FALSE(fs::exists(release / "server"));
}

struct Refusal {
  const char* label;
  std::function<void(const fs::path& release, const fs::path& outside)> make;
  const char* named;  // as the message must name it
};

class PublishRefusalTest : public PublishTest, public testing::WithParamInterface<Refusal> {};

TEST_P(PublishRefusalTest, NamesTheFileAndWritesNothing) {
  const fs::path outside = fs::path(scratch.path()) / "outside";
  WriteBytes(outside / "secret.txt", "not for clients");
  WriteBytes(release / "good.dat", "good");
  GetParam().make(release, outside);
  try {
    PublishRelease();
    ADD_FAILURE() << "published";
  } catch (const PublishError& error) {
    EXPECT_NE(std::string(error.what()).find(GetParam().named), std::string::npos) << error.what();
  }
  EXPECT_FALSE(fs::exists(server)) << "the server folder was created";
}

TEST_P(PublishRefusalTest, LeavesAnEarlierPublishAsItWas) {
  const fs::path outside = fs::path(scratch.path()) / "outside";
  WriteBytes(outside / "secret.txt", "not for clients");
  WriteBytes(release / "good.dat", "good");
  PublishRelease();
  const std::map<std::string, std::string> before = Contents(server);
  WriteBytes(release / "good.dat", "changed, so its package would be written");
  GetParam().make(release, outside);
  EXPECT_THROW(PublishRelease(), PublishError);
  EXPECT_EQ(Contents(server), before);
}

void MakeFile(const fs::path& path) { WriteBytes(path, "x"); }

INSTANTIATE_TEST_SUITE_P(
    Names, PublishRefusalTest,
    testing::Values(
        Refusal{"LineFeed", [](auto& r, auto&) { MakeFile(r / "data/bad\nname.dat"); },
                R"("data/bad\nname.dat")"},
        Refusal{"CarriageReturnInAFolder",
                [](auto& r, auto&) { MakeFile(r / "bad\rfolder/a.dat"); }, R"("bad\rfolder")"},
        Refusal{"Backslash", [](auto& r, auto&) { MakeFile(r / "data/a\\b.dat"); },
                R"("data/a\\b.dat")"},
        Refusal{"LinkOutside",
                [](auto& r, auto& o) { fs::create_symlink(o / "secret.txt", r / "leak.txt"); },
                "not below the release folder"},
        Refusal{"LinkToAFolderOutside",
                [](auto& r, auto& o) { fs::create_directory_symlink(o, r / "shared"); },
                "\"shared\": a link to"},
        Refusal{"RelativeLinkUpAndOut",
                [](auto& r, auto&) {
                  fs::create_directories(r / "sub");
                  fs::create_symlink("../../outside/secret.txt", r / "sub/up.txt");
                },
                "\"sub/up.txt\""},
        Refusal{"BrokenLink",
                [](auto& r, auto&) { fs::create_symlink(r / "missing", r / "dangling"); },
                "\"dangling\": a link to nothing"},
        Refusal{"LinkLoop",
                [](auto& r, auto&) {
                  fs::create_directories(r / "sub");
                  fs::create_directory_symlink(r, r / "sub/loop");
                },
                "\"sub/loop\""},
        Refusal{"SharedPackage",
                [](auto& r, auto&) {
                  MakeFile(r / "a.b");
                  MakeFile(r / "a_b");
                },
                "_a_b.ppk"},
        Refusal{"NamesDifferingInCaseOnly",
                [](auto& r, auto&) {
                  MakeFile(r / "Maps/a.dat");
                  MakeFile(r / "maps/a.dat");
                },
                "a.dat\""},
        Refusal{"DeviceName", [](auto& r, auto&) { MakeFile(r / "data/con.txt"); },
                "\"data/con.txt\""},
        Refusal{"TrailingDot", [](auto& r, auto&) { MakeFile(r / "readme."); }, "\"readme.\""},
        Refusal{"Pipe", [](auto& r, auto&) { ASSERT_EQ(mkfifo((r / "fifo").c_str(), 0644), 0); },
                "\"fifo\": not a regular file"},
        Refusal{"PackageNameTooLong",
                [](auto& r, auto&) { MakeFile(r / std::string(200, 'f') / std::string(100, 'g')); },
                "bytes long"}),
    [](const testing::TestParamInfo<Refusal>& info) { return std::string(info.param.label); });

TEST(PublishCommandLineTest, ReadsEveryOption) {
  std::optional<PublishOptions> options = ParseCommandLine(Args{"--exe",
                                                                "bin/veldra.exe",
                                                                "--server",
                                                                "one=a:2100",
                                                                "--server=two=b=c",
                                                                "--required",
                                                                "1.5",
                                                                "--folder",
                                                                "live",
                                                                "--latest=2.25",
                                                                "--patch-sys",
                                                                "conf/patch.sys",
                                                                "--maintenance",
                                                                "off",
                                                                "--level",
                                                                "3",
                                                                "--keep-publishes",
                                                                "2",
                                                                "--grace",
                                                                "90m",
                                                                "release",
                                                                "server"});
  ASSERT_TRUE(options);
  EXPECT_EQ(options->releaseDir, "release");
  EXPECT_EQ(options->serverDir, "server");
  EXPECT_EQ(options->exe, "bin/veldra.exe");
  using Servers = std::vector<std::pair<std::string, std::string>>;
  EXPECT_EQ(options->servers, (Servers{{"one", "a:2100"}, {"two", "b=c"}}));
  EXPECT_EQ(options->required, "1.5");
  EXPECT_EQ(options->folder, "live");
  EXPECT_EQ(options->latest, "2.25");
  EXPECT_EQ(options->patchSys, "conf/patch.sys");
  EXPECT_EQ(options->maintenance, Maintenance::Off);
  EXPECT_EQ(options->level, 3);
  EXPECT_EQ(options->keptPublishes, 2u);
  EXPECT_EQ(options->grace, std::chrono::minutes(90));
  EXPECT_EQ(ParseCommandLine(Args{"--grace", "0", "r", "s"})->grace, std::chrono::seconds(0));
}

TEST(PublishCommandLineTest, DefaultsLeaveTheServerSettingsAlone) {
  std::optional<PublishOptions> options = ParseCommandLine(Args{"release", "server"});
  ASSERT_TRUE(options);
  EXPECT_EQ(options->level, 9);
  EXPECT_EQ(options->keptPublishes, 5u);
  EXPECT_EQ(options->grace, std::chrono::days(1));
  EXPECT_FALSE(options->exe || options->required || options->latest || options->folder ||
               options->patchSys || options->maintenance);
  EXPECT_TRUE(options->servers.empty());
  EXPECT_FALSE(ParseCommandLine(Args{"--help"})) << "help needs no folders";
}

TEST(PublishCommandLineTest, RefusesBadUsage) {
  const std::vector<Args> bad = {
      {},
      {"release"},
      {"release", "server", "extra"},
      {"--bogus", "release", "server"},
      {"release", "server", "--level"},
      {"--level", "0", "release", "server"},
      {"--level", "10", "release", "server"},
      {"--level", "9x", "release", "server"},
      {"--level", "5", "--level", "6", "release", "server"},
      {"--maintenance", "maybe", "release", "server"},
      {"--keep-publishes", "0", "release", "server"},
      {"--keep-publishes", "-1", "release", "server"},
      {"--grace", "5", "release", "server"},
      {"--grace", "1w", "release", "server"},
      {"--grace", "d", "release", "server"},
      {"--grace", "-1d", "release", "server"},
      {"--grace", "99999999999999999d", "release", "server"},
      {"--server", "no-equals", "release", "server"},
      {"--server", "=address", "release", "server"},
      {"--server", "name=", "release", "server"},
      {"--server", "name=a\r\nb=c", "release", "server"},
      {"--required", "2.0.1", "release", "server"},
      {"--required", "beta", "release", "server"},
      {"--required", "", "release", "server"},
      {"--latest", "1.", "release", "server"},
      {"--folder", "live", "release", "server"},
      {"--required", "1", "--folder", "live\r\n", "release", "server"},
      {"--exe", "bin\\veldra.exe", "release", "server"},
      {"release\\sub", "server"},
  };
  for (const Args& args : bad) {
    std::string line;
    for (std::string_view arg : args) line += std::string(arg) + " ";
    EXPECT_THROW(ParseCommandLine(args), UsageError) << line;
  }
}

TEST_F(PublishTest, TheCommandReportsOnItsStreamsAndInItsExitStatus) {
  WriteBytes(release / "a.dat", "a");
  WriteBytes(release / "b.dat", "b");
  const std::string releaseArg = release.string();
  const std::string serverArg = server.string();
  std::ostringstream out, err;

  EXPECT_EQ(RunPublishCommand(Args{releaseArg, serverArg}, out, err, std::nullopt), 0);
  EXPECT_TRUE(out.str().starts_with("2 files, 2 packages written, 0 kept, 2 bytes in, "))
      << out.str();
  EXPECT_EQ(err.str(), "") << "no progress without a terminal";

  fs::remove(release / "b.dat");
  out.str("");
  EXPECT_EQ(RunPublishCommand(Args{releaseArg, serverArg}, out, err, std::nullopt), 0);
  EXPECT_NE(out.str().find("\n1 stale packages left"), std::string::npos) << out.str();

  EXPECT_EQ(RunPublishCommand(Args{releaseArg, serverArg}, out, err, 80), 0);
  EXPECT_EQ(err.str(), "\r[1/1] a.dat\r           \r") << "the progress line, cleared at the end";

  out.str("");
  err.str("");
  EXPECT_EQ(RunPublishCommand(Args{"--level", "0", releaseArg, serverArg}, out, err, 80), 1);
  EXPECT_NE(err.str().find("--level"), std::string::npos);
  EXPECT_EQ(out.str(), "");

  WriteBytes(release / "bad\nname", "x");
  err.str("");
  EXPECT_EQ(RunPublishCommand(Args{releaseArg, serverArg}, out, err, std::nullopt), 1);
  EXPECT_NE(err.str().find(R"("bad\nname")"), std::string::npos) << err.str();

  EXPECT_EQ(RunPublishCommand(Args{"--help"}, out, err, std::nullopt), 0);
  EXPECT_TRUE(out.str().starts_with("usage: veldra-publish")) << out.str();
}

// The manifest names every file a patcher fetches, with what it holds, and each signed
// publish gets a higher release number.
TEST_F(PublishTest, ASignedPublishWritesAManifestOfEveryServedFileUnderTheOperatorsKey) {
  const fs::path key = fs::path(scratch.path()) / "release.key";
  const std::string keyArg = key.string();
  std::ostringstream out, err;
  ASSERT_EQ(RunPublishCommand(Args{"keygen", keyArg}, out, err, std::nullopt), 0) << err.str();
  EXPECT_EQ(fs::status(key).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(RunPublishCommand(Args{"keygen", keyArg}, out, err, std::nullopt), 1)
      << "a key is never replaced";
  std::optional<platform::P256PublicKey> publicKey = ParseReleaseKey(Bytes(keyArg + ".pub"));
  ASSERT_TRUE(publicKey);

  WriteBytes(release / "data/a.dat", "a");
  WriteBytes(fs::path(scratch.path()) / "patch.sys", "[Combo]\r\n");
  WriteBytes(fs::path(scratch.path()) / "veldra.exe", "MZ");
  PublishOptions options = Options();
  options.signKey = key;
  options.patchSys = fs::path(scratch.path()) / "patch.sys";
  options.exe = fs::path(scratch.path()) / "veldra.exe";
  options.latest = "1.0";
  for (std::uint64_t expected : {1u, 2u}) {
    PublishRelease(options);
    std::string why;
    auto manifest = ReadSignedManifest(Bytes(server / "release.sig"), *publicKey, why);
    ASSERT_TRUE(manifest) << why;
    EXPECT_EQ(manifest->release, expected);
    std::vector<std::string> names;
    for (const auto& [name, entry] : manifest->files) {
      names.push_back(name);
      const std::string content = Bytes(server / name);
      platform::Sha256 hash;
      hash.Add(content.data(), content.size());
      EXPECT_EQ(entry, (ManifestEntry{hash.Finish(), content.size()})) << name;
    }
    EXPECT_EQ(names, (std::vector<std::string>{"_data_a_dat.ppk", "filelist.log", "latest.ver",
                                               "patch.sys", "pserv.log", "veldra.exe"}));
  }

  fs::permissions(key, fs::perms::group_read, fs::perm_options::add);
  const std::map<std::string, std::string> before = Contents(server);
  WriteBytes(release / "data/a.dat", "changed");
  EXPECT_THROW(PublishRelease(options), PublishError);
  EXPECT_EQ(Contents(server), before) << "a key others may read is refused before any write";
}

// Someone who may write the server folder but has no key plants a release.sig: the next
// publish must neither trust its number nor wrap past the last one to 0, which every player
// would refuse for good.
class PlantedReleaseTest : public PublishTest {
 protected:
  void SetUp() override {
    MakeKeyPair(ownFile);
    MakeKeyPair(otherFile);
    own = std::make_unique<SigningKey>(ownFile);
    other = std::make_unique<SigningKey>(otherFile);
    WriteBytes(release / "a.dat", "a");
  }

  PublishOptions Signed() const {
    PublishOptions options = Options();
    options.signKey = ownFile;
    return options;
  }
  std::uint64_t PublishedRelease() const {
    std::string why;
    auto manifest = ReadSignedManifest(Bytes(server / "release.sig"), own->PublicKey(), why);
    EXPECT_TRUE(manifest) << why;
    return manifest ? manifest->release : 0;
  }

  const fs::path ownFile = fs::path(scratch.path()) / "own.key";
  const fs::path otherFile = fs::path(scratch.path()) / "other.key";
  std::unique_ptr<SigningKey> own, other;
};

std::string SignedBy(const SigningKey& key, std::uint64_t release) {
  const std::string body =
      UnsignedManifestText(ReleaseManifest{release, "2026-12-10T05:40:00Z", {}});
  return body + SignatureLine(key.Sign(body));
}

constexpr std::uint64_t kLastRelease = std::numeric_limits<std::uint64_t>::max();

TEST_F(PlantedReleaseTest, EachIsRefusedWithItsReasonAndTheFolderLeftAsItWas) {
  const struct {
    const char* what;
    std::function<void(const fs::path& sig, const SigningKey& own, const SigningKey& other)> plant;
    const char* reason;
  } cases[] = {
      {"a bit of the signed text flipped",
       [](auto& sig, auto&, auto&) {
         std::string text = Bytes(sig);
         text[text.find("published ") + 10] ^= 1;
         WriteBytes(sig, text);
       },
       "not signed by"},
      {"the last but one number, unsigned",
       [](auto& sig, auto&, auto&) {
         WriteBytes(sig, "veldra-release 1\nrelease 18446744073709551614\npublished x\n");
       },
       "is cut"},
      {"-1 under a made-up signature",
       [](auto& sig, auto&, auto&) {
         WriteBytes(sig, "veldra-release 1\nrelease -1\npublished x\nsignature " +
                             std::string(128, '1') + "\n");
       },
       "not signed by"},
      {"junk", [](auto& sig, auto&, auto&) { WriteBytes(sig, std::string("\0\xff junk\n", 8)); },
       "is cut"},
      {"another key's signature",
       [](auto& sig, auto&, auto& other) { WriteBytes(sig, SignedBy(other, 7)); }, "not signed by"},
      {"the last number, signed",
       [](auto& sig, auto& own, auto&) { WriteBytes(sig, SignedBy(own, kLastRelease)); },
       "the last number a release can have"},
      {"a folder",
       [](auto& sig, auto&, auto&) {
         fs::remove(sig);
         fs::create_directory(sig);
       },
       "(no file)"},
  };
  PublishRelease(Signed());
  const fs::path sig = server / "release.sig";
  const std::string published = Bytes(sig);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    c.plant(sig, *own, *other);
    const std::map<std::string, std::string> before = Contents(server);
    WriteBytes(release / "a.dat", std::string("changed for ") + c.what);
    try {
      PublishRelease(Signed());
      ADD_FAILURE() << "published";
    } catch (const PublishError& error) {
      EXPECT_NE(std::string(error.what()).find(c.reason), std::string::npos) << error.what();
      EXPECT_NE(std::string(error.what()).find("nothing was written"), std::string::npos);
    }
    EXPECT_EQ(Contents(server), before);
    fs::remove_all(sig);
    WriteBytes(sig, published);
  }
  PublishRelease(Signed());
  EXPECT_EQ(PublishedRelease(), 2u) << "the folder's own release.sig put back counts on";
}

TEST_F(PlantedReleaseTest, NumbersGrowFromOneToTheLastAndNeverWrapToZero) {
  PublishRelease(Signed());
  EXPECT_EQ(PublishedRelease(), 1u);
  PublishRelease(Signed());
  EXPECT_EQ(PublishedRelease(), 2u);
  WriteBytes(server / "release.sig", SignedBy(*own, kLastRelease - 1));
  PublishRelease(Signed());
  EXPECT_EQ(PublishedRelease(), kLastRelease);
  EXPECT_THROW(PublishRelease(Signed()), PublishError);
  EXPECT_EQ(PublishedRelease(), kLastRelease);
}

// Every file below `folder` (relative name -> inode), temporary ones included.
std::map<std::string, ino_t> Tree(const fs::path& folder) {
  std::map<std::string, ino_t> tree;
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(folder)) {
    if (entry.is_regular_file()) tree[fs::relative(entry, folder).string()] = InodeOf(entry);
  }
  return tree;
}

std::size_t CountUnder(const fs::path& folder) {
  std::size_t count = 0;
  if (fs::exists(folder)) {
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(folder)) {
      count += entry.is_regular_file();
    }
  }
  return count;
}

// Text and random bytes in turn, so that chunks of both kinds are stored.
std::string LargeContent(unsigned seed) {
  std::string content;
  for (unsigned part = 0; part < 5; ++part) {
    content += part % 2 ? RandomBytes(1 << 20, seed + part) : TextLike(1 << 20, seed + part);
  }
  return content;
}

class ChunkedPublishTest : public PublishTest {
 protected:
  PublishOptions Fast() const {
    PublishOptions options = Options();
    options.level = 1;
    return options;
  }
  fs::path IndexOf(const std::string& content) const {
    return server / IndexNameOf(DigestOfBytes(content));
  }
  // The content the index and its chunks give back, checked on the way.
  std::string Joined(const fs::path& indexFile) {
    std::string why;
    std::optional<ChunkIndex> index = ParseChunkIndex(Bytes(indexFile), why);
    EXPECT_TRUE(index) << indexFile << ": " << why;
    if (!index) return "";
    std::string joined;
    for (const ChunkEntry& chunk : index->chunks) {
      const std::string stored = Bytes(server / ChunkNameOf(chunk.sha256));
      kinds.insert(stored.empty() ? -1 : stored[0]);
      std::optional<std::string> content = DecodeChunk(stored, chunk, why);
      EXPECT_TRUE(content) << why;
      if (content) joined += *content;
    }
    EXPECT_EQ(index->md5, DigestOfBytes(joined));
    EXPECT_EQ(index->sha256, Sha256Of(joined));
    EXPECT_EQ(index->size, joined.size());
    return joined;
  }
  std::set<std::string> ChunksOf(const fs::path& indexFile) {
    std::string why;
    std::optional<ChunkIndex> index = ParseChunkIndex(Bytes(indexFile), why);
    EXPECT_TRUE(index) << indexFile << ": " << why;
    std::set<std::string> names;
    for (const ChunkEntry& chunk : index ? index->chunks : std::vector<ChunkEntry>{}) {
      names.insert(ChunkNameOf(chunk.sha256));
    }
    return names;
  }
  std::set<int> kinds;  // of the chunk files Joined read
};

TEST_F(ChunkedPublishTest, ALargeFileIsServedAsChunksOfItsContentAndASmallOneIsNot) {
  const std::string large = LargeContent(10);
  WriteBytes(release / "data/large.dat", large);
  WriteBytes(release / "data/small.dat", std::string(kChunkedFrom - 1, 's'));

  const PublishSummary summary = PublishRelease(Fast());

  EXPECT_EQ(Joined(IndexOf(large)), large);
  EXPECT_EQ(kinds, (std::set<int>{kChunkStored, kChunkDeflated}));
  EXPECT_EQ(CountUnder(server / "indexes"), 1u) << "the small file got an index";
  EXPECT_EQ(CountUnder(server / "chunks"), summary.chunks.chunksWritten);
  EXPECT_GE(summary.chunks.chunksWritten, large.size() / kChunkParams.most);
  EXPECT_EQ(Gunzipped(PackageOf("data/large.dat")), large) << "the package stays";
}

TEST_F(ChunkedPublishTest, ARepublishWritesOnlyWhatIsNew) {
  std::string large = LargeContent(20);
  WriteBytes(release / "large.dat", large);
  PublishRelease(Fast());
  const std::map<std::string, ino_t> chunks = Tree(server / "chunks");
  const std::map<std::string, ino_t> indexes = Tree(server / "indexes");

  EXPECT_EQ(PublishRelease(Fast()).chunks.indexesKept, 1u);
  EXPECT_EQ(Tree(server / "chunks"), chunks) << "an unchanged file wrote a chunk";
  EXPECT_EQ(Tree(server / "indexes"), indexes) << "an unchanged file wrote its index";

  const std::size_t chunksBefore = CountUnder(server / "chunks");
  large[large.size() / 2] ^= 1;
  WriteBytes(release / "large.dat", large);
  const PublishSummary summary = PublishRelease(Fast());
  EXPECT_GE(summary.chunks.chunksWritten, 1u);
  EXPECT_LE(summary.chunks.chunksWritten, 3u) << "a byte changes the chunks around it only";
  EXPECT_EQ(CountUnder(server / "chunks"), chunksBefore + summary.chunks.chunksWritten);
  EXPECT_EQ(CountUnder(server / "indexes"), 2u);
  EXPECT_EQ(Joined(IndexOf(large)), large);
}

TEST_F(ChunkedPublishTest, AChunkFileACrashLeftEmptyIsWrittenAgain) {
  const std::string large = LargeContent(30);
  WriteBytes(release / "large.dat", large);
  PublishRelease(Fast());
  const std::set<std::string> chunks = ChunksOf(IndexOf(large));
  ASSERT_FALSE(chunks.empty());
  fs::remove_all(server / "indexes");
  WriteBytes(server / *chunks.begin(), "");
  EXPECT_EQ(PublishRelease(Fast()).chunks.chunksWritten, 1u);
  EXPECT_EQ(Joined(IndexOf(large)), large);
}

TEST_F(ChunkedPublishTest, TheSignedManifestListsTheIndexesAndNoChunk) {
  MakeKeyPair(fs::path(scratch.path()) / "release.key");
  const SigningKey key(fs::path(scratch.path()) / "release.key");
  const std::string large = LargeContent(40);
  WriteBytes(release / "large.dat", large);
  PublishOptions options = Fast();
  options.signKey = fs::path(scratch.path()) / "release.key";
  PublishRelease(options);
  std::string why;
  auto manifest = ReadSignedManifest(Bytes(server / "release.sig"), key.PublicKey(), why);
  ASSERT_TRUE(manifest) << why;
  std::vector<std::string> names;
  for (const auto& [name, entry] : manifest->files) names.push_back(name);
  EXPECT_EQ(names, (std::vector<std::string>{"_large_dat.ppk", "filelist.log",
                                             IndexNameOf(DigestOfBytes(large)), "pserv.log"}));
  EXPECT_EQ(manifest->files.at(IndexNameOf(DigestOfBytes(large))).sha256,
            Sha256Of(Bytes(IndexOf(large))));
}

// A write that fails leaves the lists naming the old release, whose chunks are all there.
TEST_F(ChunkedPublishTest, AFailedChunkOrIndexWriteLeavesTheListsAsTheyWere) {
  for (const char* blocked : {"chunks", "indexes"}) {
    SCOPED_TRACE(blocked);
    fs::remove_all(server);
    WriteBytes(release / "large.dat", "small before");
    PublishRelease(Fast());
    const std::string fileList = Bytes(server / "filelist.log");
    const std::string pserv = Bytes(server / "pserv.log");
    WriteBytes(server / blocked, "a file where a folder goes");
    WriteBytes(release / "large.dat", LargeContent(50));

    EXPECT_THROW(PublishRelease(Fast()), PublishError);

    EXPECT_EQ(Bytes(server / "filelist.log"), fileList);
    EXPECT_EQ(Bytes(server / "pserv.log"), pserv);
    EXPECT_FALSE(fs::is_directory(server / "indexes"));
  }
}

// Three publishes of a file whose first MiBs stay: with K = 2 the first publish's own index
// and chunks are removed once the grace is over, never what the last two use.
TEST_F(ChunkedPublishTest, CleanupRemovesOnlyWhatTheLastPublishesDoNotUse) {
  const struct {
    const char* what;
    std::chrono::seconds grace;
    bool damageRecord;
    bool firstRemoved;
  } cases[] = {
      {"grace over", std::chrono::seconds(0), false, true},
      {"within the grace", std::chrono::hours(24), false, false},
      {"damaged record", std::chrono::seconds(0), true, false},
  };
  const std::string shared = LargeContent(60);
  std::vector<std::string> contents;
  for (unsigned at = 0; at < 3; ++at) contents.push_back(shared + RandomBytes(1 << 20, 70 + at));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(server);
    PublishOptions options = Fast();
    options.keptPublishes = 2;
    options.grace = c.grace;
    std::set<std::string> firstOnly;
    PublishSummary summary;
    for (std::size_t at = 0; at < contents.size(); ++at) {
      WriteBytes(release / "large.dat", contents[at]);
      if (at == 2 && c.damageRecord) WriteBytes(server / kChunkUsesName, "veldra-chunk-uses 1\nx");
      summary = PublishRelease(options);
      const std::set<std::string> used = ChunksOf(IndexOf(contents[at]));
      if (at == 0) firstOnly = used;
      for (const std::string& name : used) {
        if (at > 0) firstOnly.erase(name);
      }
    }
    ASSERT_FALSE(firstOnly.empty());
    for (const std::string& name : firstOnly) {
      EXPECT_EQ(fs::exists(server / name), !c.firstRemoved) << name;
    }
    EXPECT_EQ(fs::exists(IndexOf(contents[0])), !c.firstRemoved);
    EXPECT_EQ(summary.removed.indexes, c.firstRemoved ? 1u : 0u);
    EXPECT_EQ(summary.removed.chunks, c.firstRemoved ? firstOnly.size() : 0u);
    EXPECT_EQ(summary.removed.kept.empty(), !c.damageRecord) << summary.removed.kept;
    EXPECT_EQ(Joined(IndexOf(contents[1])), contents[1]);
    EXPECT_EQ(Joined(IndexOf(contents[2])), contents[2]);
  }
}

// Once the record was begun anew, an index it does not know may still be in use by a
// publish before it: it stays until the record holds K publishes.
TEST_F(ChunkedPublishTest, AnIndexTheRecordDoesNotKnowStaysUntilTheRecordHoldsKPublishes) {
  PublishOptions options = Fast();
  options.keptPublishes = 2;
  options.grace = std::chrono::seconds(0);
  const std::string old = LargeContent(80);
  WriteBytes(release / "large.dat", old);
  PublishRelease(options);
  fs::remove(server / kChunkUsesName);
  WriteBytes(release / "large.dat", "small now");
  EXPECT_EQ(PublishRelease(options).removed.indexes, 0u);
  EXPECT_TRUE(fs::exists(IndexOf(old)));
  const PublishSummary summary = PublishRelease(options);
  EXPECT_EQ(summary.removed.indexes, 1u);
  EXPECT_EQ(CountUnder(server / "chunks"), 0u);
  EXPECT_GT(summary.removed.chunks, 0u);
}

}  // namespace
