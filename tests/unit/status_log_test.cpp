#include "engine/status_log.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "engine/patch_run.h"
#include "platform/files.h"
#include "tests/support/scratch_folder.h"

namespace {

// Digests made of the bytes a careless reader would trip on.
Digest Awkward(std::uint8_t seed) {
  Digest digest{};
  const std::uint8_t bytes[] = {'\r', '\n', 0, '\\', seed};
  for (std::size_t i = 0; i < digest.size(); ++i) digest[i] = bytes[(i + seed) % 5];
  return digest;
}

FileDigestMap SampleMap() {
  FileDigestMap files;
  files.FindOrAdd("\\patch.sys") = {Awkward(1), Awkward(2), Awkward(9), {}};
  files.FindOrAdd("\\data\\maps\\a.dat") = {Awkward(3), Awkward(3), {}, {}};
  files.FindOrAdd("\\Data\\a.dat") = {};  // listed by the server, never fetched
  return files;
}

void ExpectSame(const FileDigestMap& read, const FileDigestMap& written) {
  ASSERT_EQ(read.size(), written.size());
  auto it = read.begin();
  for (const auto& [key, digests] : written) {
    EXPECT_EQ(it->first, key);
    EXPECT_EQ(it->second.installed, digests.installed) << key;
    EXPECT_EQ(it->second.fetched, digests.fetched) << key;
    EXPECT_TRUE(IsZeroDigest(it->second.listed)) << "listed is never saved";
    ++it;
  }
}

TEST(StatusLogTest, RoundTripInKeyOrder) {
  std::string bytes = StatusLogBytes(SampleMap());
  EXPECT_EQ(bytes.substr(0, 24), std::string(24, '\0'));
  // Byte order of the keys: "\D" before "\d" before "\p".
  EXPECT_EQ(bytes.substr(24 + 36, 11), "\\Data\\a.dat");
  FileDigestMap read;
  ReadStatusLog(bytes, read);
  ExpectSame(read, SampleMap());
}

TEST(StatusLogTest, ReadingClearsListedAndKeepsOtherEntries) {
  FileDigestMap files;
  files.FindOrAdd("\\patch.sys").listed = Awkward(4);
  files.FindOrAdd("\\other") = {Awkward(5), Awkward(5), Awkward(5), {}};
  ReadStatusLog(StatusLogBytes(SampleMap()), files);
  EXPECT_TRUE(IsZeroDigest(files.Find("\\patch.sys")->listed));
  EXPECT_EQ(files.Find("\\patch.sys")->installed, Awkward(1));
  EXPECT_EQ(files.Find("\\other")->listed, Awkward(5));
}

TEST(StatusLogTest, ACutLogKeepsTheWholeRecordsBeforeTheCut) {
  const std::string whole = StatusLogBytes(SampleMap());
  std::vector<std::size_t> recordEnds;
  for (std::size_t at = whole.find("\r\n", 24 + 36); at != std::string::npos;
       at = whole.find("\r\n", at + 2 + 36)) {
    recordEnds.push_back(at + 2);
  }
  ASSERT_EQ(recordEnds.size(), 3u);
  for (std::size_t length = 0; length <= whole.size(); ++length) {
    FileDigestMap read;
    ReadStatusLog(std::string_view(whole).substr(0, length), read);
    std::size_t whole_records = 0;
    while (whole_records < recordEnds.size() && recordEnds[whole_records] <= length) {
      ++whole_records;
    }
    EXPECT_EQ(read.size(), whole_records) << "cut at " << length;
  }
}

TEST(StatusLogTest, MalformedRecordsNeverReadOutsideTheBytes) {
  std::string header(24, '\0');
  std::string record = std::string(36, '\r') + "\\a.dat\r\n";
  FileDigestMap read;
  ReadStatusLog(header + record, read);
  ASSERT_NE(read.Find("\\a.dat"), nullptr) << "digests full of CR are still digests";

  FileDigestMap odd;
  ReadStatusLog(header + std::string(36, 'x') + "\r\n" + record, odd);
  EXPECT_EQ(odd.Find(""), nullptr) << "an empty key names no file";
  EXPECT_NE(odd.Find("\\a.dat"), nullptr) << "and the records after it still count";

  FileDigestMap noEnd;
  ReadStatusLog(header + std::string(36, 'x') + "\\b.dat", noEnd);
  EXPECT_TRUE(noEnd.empty()) << "a key without its line end is cut short";

  for (std::string small : {std::string(), std::string(10, '\0'), header}) {
    FileDigestMap nothing;
    ReadStatusLog(small, nothing);
    EXPECT_TRUE(nothing.empty());
  }
}

TEST(StatusLogTest, SavingReplacesTheLogWholeOrNotAtAll) {
  ScratchFolder folder;
  PatchJob job;
  PatchRun run{job};
  run.files = SampleMap();
  folder.Write("localfileStatus.log.new", "left by a crash");
  ASSERT_TRUE(WriteStatusLog(run));
  EXPECT_EQ(folder.Read("localfileStatus.log"), StatusLogBytes(SampleMap()));
  EXPECT_FALSE(platform::PathExists("localfileStatus.log.new"));

  // The new log cannot be written: the old one stays as it was.
  std::filesystem::create_directory("localfileStatus.log.new");
  run.files.FindOrAdd("\\new.dat");
  EXPECT_FALSE(WriteStatusLog(run));
  EXPECT_EQ(folder.Read("localfileStatus.log"), StatusLogBytes(SampleMap()));
}

}  // namespace
