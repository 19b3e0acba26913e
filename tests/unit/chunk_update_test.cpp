#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <set>
#include <string>

#include "engine/chunk_index.h"
#include "engine/content_chunks.h"
#include "engine/file_digests.h"
#include "engine/game_download.h"
#include "engine/package.h"
#include "engine/patch_run.h"
#include "engine/release_manifest.h"
#include "platform/files.h"
#include "tests/support/gzip_bytes.h"
#include "tests/support/scripted_prompt.h"
#include "tests/support/stage_test.h"
#include "tests/support/test_servers.h"

namespace {

constexpr const char* kKey = "\\data\\big.pak";
constexpr const char* kPath = "data\\big.pak";

// What a publish serves for one large file.
struct Served {
  std::string index;
  std::vector<std::pair<std::string, std::string>> chunks;  // name, chunk file
};

Served ChunkedServing(const std::string& content) {
  Served served;
  ChunkIndex index;
  index.size = content.size();
  index.md5 = DigestOfBytes(content);
  index.sha256 = Sha256Of(content);
  index.params = kChunkParams;
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(content.data());
  for (std::size_t at = 0; at < content.size();) {
    const std::size_t length = ChunkLength(bytes + at, content.size() - at, kChunkParams);
    const std::string_view chunk(content.data() + at, length);
    const std::string stored = EncodeChunk(chunk, 6);
    const platform::Sha256Digest sha256 = Sha256Of(chunk);
    index.chunks.push_back(
        {static_cast<std::uint32_t>(length), static_cast<std::uint32_t>(stored.size()), sha256});
    served.chunks.emplace_back(ChunkNameOf(sha256), stored);
    at += length;
  }
  served.index = ChunkIndexBytes(index);
  return served;
}

class ChunkUpdateTest : public StageTest {
 protected:
  void SetUp() override {
    StageTest::SetUp();
    RunningAndConnected();
  }
  // The old copy installed, and the server's release of the new one: its package always,
  // its index and chunks as `bend` leaves them.
  void Release(const std::string& old, const std::string& fresh,
               const std::function<void(Served&)>& bend = {}) {
    run.files = FileDigestMap();
    if (!old.empty()) {
      folder.Write(kPath, old);
      run.files.FindOrAdd(kKey).installed = DigestOfBytes(old);
    }
    run.files.FindOrAdd(kKey).listed = DigestOfBytes(fresh);
    server.Serve(PackageNameOf(kKey), GzipBytes(fresh) + PackageTrailer(kPath));
    Served served = ChunkedServing(fresh);
    if (bend) bend(served);
    if (!served.index.empty()) server.Serve(IndexNameOf(DigestOfBytes(fresh)), served.index);
    for (const auto& [name, stored] : served.chunks) server.Serve(name, stored);
  }
  struct Cost {
    int packages = 0;
    int chunks = 0;
    long bytes = 0;
  };
  Cost Fetched() const {
    Cost cost;
    for (const LoggedRequest& request : server.Requests()) {
      if (request.status != 200) continue;
      cost.packages += request.path.ends_with(".ppk");
      cost.chunks += request.path.starts_with("/./chunks/");
    }
    return cost;
  }
};

// Whatever the change, the folder ends as the release, and a change of a few chunks costs a
// few chunks.
TEST_F(ChunkUpdateTest, AChangedLargeFileFetchesOnlyTheChunksItLacks) {
  const std::string old = PatternBytes(4 << 20, 1);
  std::string flipped = old;
  flipped[2 << 20] ^= 1;
  std::string rewritten = old;
  rewritten.replace(1 << 20, 512 << 10, PatternBytes(512 << 10, 2));
  struct Case {
    const char* what;
    std::string fresh;
    int mostChunks;
    int packages;
  };
  const Case cases[] = {
      {"one byte flipped", flipped, 1, 0},
      {"a rewritten middle", rewritten, 12, 0},
      {"1 KiB inserted at the start", PatternBytes(1024, 3) + old, 2, 0},
      {"cut short", old.substr(0, (3 << 20) + 5), 1, 0},
      {"grown", old + PatternBytes(100000, 4), 3, 0},
      {"all new: more than the package is worth", PatternBytes(4 << 20, 5), 0, 1},
  };
  for (const Case& each : cases) {
    SCOPED_TRACE(each.what);
    server.Reset();
    Release(old, each.fresh);
    ASSERT_TRUE(DownloadGameFiles(run));
    EXPECT_EQ(folder.Read(kPath), each.fresh);
    EXPECT_LE(Fetched().chunks, each.mostChunks);
    EXPECT_EQ(Fetched().packages, each.packages);
    EXPECT_EQ(run.files.Find(kKey)->installed, DigestOfBytes(each.fresh));
    EXPECT_FALSE(platform::PathExists(std::string(kPath) + ".unpacking"));
    EXPECT_FALSE(platform::PathExists("temp\\_data_big_pak.chunks"));
  }
}

// Anything missing or wrong of the chunk store costs the package, in the same run and
// without a box; a note says why.
TEST_F(ChunkUpdateTest, AnythingAmissFallsBackToThePackage) {
  const std::string old = PatternBytes(4 << 20, 1);
  std::string fresh = old;
  fresh[3 << 20] ^= 1;
  struct Case {
    const char* what;
    std::function<void(Served&)> bend;
    std::string rules;
    bool told = true;  // a note tells the operator why, but for a server without a chunk store
  };
  const std::string index = IndexNameOf(DigestOfBytes(fresh));
  const Case cases[] = {
      {"a server without indexes", [](Served& served) { served = Served(); }, "{}", false},
      {"an index that is a web page", {}, R"({")" + index.substr(8) + R"(": {"portal": true}})"},
      {"an index of another file",
       [&](Served& served) { served.index = ChunkedServing(old).index; }, "{}"},
      {"no chunks", [](Served& served) { served.chunks.clear(); }, "{}"},
      {"every chunk bent",
       [](Served& served) {
         for (auto& [name, stored] : served.chunks) stored.back() ^= 1;
       },
       "{}"},
      {"every chunk another's",
       [](Served& served) {
         for (std::size_t at = 1; at < served.chunks.size(); ++at) {
           served.chunks[at].second = served.chunks[at - 1].second;
         }
         served.chunks[0].second = served.chunks.back().second;
       },
       "{}"},
  };
  for (const Case& each : cases) {
    SCOPED_TRACE(each.what);
    server.Reset();
    Release(old, fresh, each.bend);
    server.SetRules(each.rules);
    std::string notes;
    run.inputs.tellNote = [&](const std::string& note) { notes += note + "\n"; };
    ScriptedPrompt prompt;
    ASSERT_TRUE(DownloadGameFiles(run));
    EXPECT_TRUE(prompt.Shown().empty());
    EXPECT_EQ(notes.find("data\\big.pak: fetched whole, since ") != std::string::npos, each.told)
        << notes;
    EXPECT_EQ(folder.Read(kPath), fresh);
    EXPECT_EQ(Fetched().packages, 1);
    EXPECT_FALSE(platform::PathExists("temp\\_data_big_pak.chunks"));
  }
}

// An old copy that is missing or small is not worth an index: its package comes at once.
TEST_F(ChunkUpdateTest, NoOldCopyWorthMatchingAsksForNoIndex) {
  for (const std::string& old : {std::string(), PatternBytes(100000, 6)}) {
    server.Reset();
    const std::string fresh = PatternBytes(4 << 20, 7);
    Release(old, fresh);
    ASSERT_TRUE(DownloadGameFiles(run));
    EXPECT_EQ(folder.Read(kPath), fresh);
    EXPECT_EQ(server.Requests().size(), 1u) << "the package alone";
  }
}

// A quit keeps the chunks that arrived whole: the next run fetches only the others, and the
// old copy serves until the new file is whole.
TEST_F(ChunkUpdateTest, AQuitKeepsTheChunksThatArrived) {
  const std::string old = PatternBytes(4 << 20, 1);
  std::string fresh = old;
  fresh.replace(1 << 20, 1 << 20, PatternBytes(1 << 20, 8));
  Release(old, fresh);
  run.inputs.transfers = 1;
  int chunks = 0;
  run.inputs.requestLog = [&](const HttpRequestRecord& request) {
    if (request.url.find("/chunks/") != std::string::npos && ++chunks == 4) {
      SetState(job, PatchState::Stop);
    }
  };
  EXPECT_FALSE(DownloadGameFiles(run));
  EXPECT_EQ(folder.Read(kPath), old);
  const int before = Fetched().chunks;
  EXPECT_EQ(before, 4);

  run.inputs.requestLog = {};
  job.state = PatchState::Running;
  ASSERT_TRUE(DownloadGameFiles(run));
  EXPECT_EQ(folder.Read(kPath), fresh);
  std::set<std::string> fetched;
  for (const LoggedRequest& request : server.Requests()) {
    if (request.path.starts_with("/./chunks/")) {
      EXPECT_TRUE(fetched.insert(request.path).second) << request.path << " fetched twice";
    }
  }
  EXPECT_GT(fetched.size(), 4u);
}

// With a signed release the index is taken only as the release lists it: unlisted, it is not
// even asked for; other bytes than listed cost the package.
TEST_F(ChunkUpdateTest, ASignedReleaseVouchesForTheIndex) {
  const std::string old = PatternBytes(4 << 20, 1);
  std::string fresh = old;
  fresh[1 << 20] ^= 1;
  const std::string package = GzipBytes(fresh) + PackageTrailer(kPath);
  const std::string index = ChunkedServing(fresh).index;
  const std::string indexName = IndexNameOf(DigestOfBytes(fresh));
  struct Case {
    const char* what;
    std::optional<std::string> listedIndex;
    int indexRequests;
    int packages;
  };
  const Case cases[] = {
      {"listed as served", index, 1, 0},
      {"not listed", std::nullopt, 0, 1},
      {"listed with other bytes", ChunkedServing(old).index, 1, 1},
  };
  for (const Case& each : cases) {
    SCOPED_TRACE(each.what);
    server.Reset();
    Release(old, fresh);
    ReleaseManifest manifest{1, "", {{PackageNameOf(kKey), {Sha256Of(package), package.size()}}}};
    if (each.listedIndex) {
      manifest.files[indexName] = {Sha256Of(*each.listedIndex), each.listedIndex->size()};
    }
    run.inputs.releaseKey = platform::P256PublicKey{};
    run.manifest = manifest;
    ASSERT_TRUE(DownloadGameFiles(run));
    EXPECT_EQ(folder.Read(kPath), fresh);
    int indexRequests = 0;
    for (const LoggedRequest& request : server.Requests()) {
      indexRequests += request.path == "/./" + indexName;
    }
    EXPECT_EQ(indexRequests, each.indexRequests);
    EXPECT_EQ(Fetched().packages, each.packages);
  }
}

// The player's total holds every byte to come before the first chunk or package: what crosses
// the network, not the size of the files.
TEST_F(ChunkUpdateTest, TheTotalIsKnownBeforeTheFirstChunkAndCountsOnlyWhatCrosses) {
  const std::string old = PatternBytes(4 << 20, 1);
  std::string fresh = old;
  fresh[1 << 20] ^= 1;
  Release(old, fresh);
  const std::string small = "a small file";
  const std::string package = GzipBytes(small) + PackageTrailer("small.txt");
  server.Serve(PackageNameOf("\\small.txt"), package);
  run.files.FindOrAdd("\\small.txt").listed = DigestOfBytes(small);
  const std::string bigPackage = GzipBytes(fresh) + PackageTrailer(kPath);
  const std::string index = ChunkedServing(fresh).index;
  run.inputs.releaseKey = platform::P256PublicKey{};
  run.manifest =
      ReleaseManifest{1,
                      "",
                      {{PackageNameOf(kKey), {Sha256Of(bigPackage), bigPackage.size()}},
                       {PackageNameOf("\\small.txt"), {Sha256Of(package), package.size()}},
                       {IndexNameOf(DigestOfBytes(fresh)), {Sha256Of(index), index.size()}}}};
  std::vector<std::uint64_t> totals;
  run.inputs.requestLog = [&](const HttpRequestRecord& request) {
    std::lock_guard<std::mutex> hold(job.lock);
    if (request.url.find("/indexes/") == std::string::npos) totals.push_back(job.bytesTotal);
  };
  ASSERT_TRUE(DownloadGameFiles(run));
  EXPECT_EQ(folder.Read(kPath), fresh);
  EXPECT_EQ(folder.Read("small.txt"), small);
  EXPECT_EQ(Fetched().packages, 1);
  ASSERT_FALSE(totals.empty());
  EXPECT_EQ(std::set<std::uint64_t>(totals.begin(), totals.end()).size(), 1u)
      << "the same total from the first chunk on";
  EXPECT_EQ(job.bytesDone, job.bytesTotal);
  EXPECT_LT(job.bytesTotal, index.size() + package.size() + (400u << 10));
}

// A network that goes down keeps the chunks that arrived: the package fails as well, and the
// next run fetches only the chunks still missing.
TEST_F(ChunkUpdateTest, ACutKeepsTheChunksThatArrived) {
  const std::string old = PatternBytes(4 << 20, 1);
  std::string fresh = old;
  fresh.replace(1 << 20, 1 << 20, PatternBytes(1 << 20, 9));
  Release(old, fresh);
  std::set<std::string> before;
  for (const auto& [name, stored] : ChunkedServing(old).chunks) before.insert(name);
  std::vector<std::string> fresher;
  for (const auto& [name, stored] : ChunkedServing(fresh).chunks) {
    if (!before.contains(name)) fresher.push_back(name.substr(name.rfind('/') + 1));
  }
  ASSERT_GT(fresher.size(), 4u);
  // Three chunks and the index come; then nothing answers, the package neither.
  std::string rules =
      R"({"*": {"hang_up": true}, ")" + IndexNameOf(DigestOfBytes(fresh)).substr(8) + R"(": {})";
  for (std::size_t at = 0; at < 3; ++at) rules += R"(, ")" + fresher[at] + R"(": {})";
  server.SetRules(rules + "}");
  run.inputs.transfers = 1;
  FailureBox(DownloadGameFiles);
  EXPECT_EQ(folder.Read(kPath), old);

  server.SetRules("{}");
  const std::size_t asked = server.Requests().size();
  job.state = PatchState::Running;
  ASSERT_TRUE(DownloadGameFiles(run));
  EXPECT_EQ(folder.Read(kPath), fresh);
  const std::vector<LoggedRequest> requests = server.Requests();
  int chunks = 0;
  for (std::size_t at = asked; at < requests.size(); ++at) {
    for (std::size_t kept = 0; kept < 3; ++kept) {
      EXPECT_FALSE(requests[at].path.ends_with(fresher[kept])) << "fetched again";
    }
    chunks += requests[at].path.starts_with("/./chunks/");
  }
  EXPECT_EQ(chunks, static_cast<int>(fresher.size()) - 3);
  EXPECT_EQ(Fetched().packages, 0);
}

}  // namespace
