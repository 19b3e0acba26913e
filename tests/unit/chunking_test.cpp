#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "engine/chunk_index.h"
#include "engine/content_chunks.h"
#include "engine/file_chunks.h"
#include "engine/md5.h"
#include "tests/support/scratch_folder.h"
#include "tests/support/test_servers.h"

namespace {

std::vector<std::string> ChunksOf(const std::string& bytes) {
  ScratchFolder folder;
  folder.Write("file", bytes);
  platform::File file;
  EXPECT_TRUE(file.Open("file", platform::FileMode::Read));
  FileChunks chunks(file, kChunkParams);
  std::vector<std::string> found;
  std::string_view chunk;
  std::uint64_t offset = 0;
  while (chunks.Next(chunk)) {
    EXPECT_EQ(chunks.offset(), offset);
    offset += chunk.size();
    found.emplace_back(chunk);
  }
  EXPECT_FALSE(chunks.failed());
  return found;
}

// Chunks of `after` that `before` does not hold.
std::size_t NewChunks(const std::string& before, const std::string& after) {
  std::set<std::string> old;
  for (std::string& chunk : ChunksOf(before)) old.insert(std::move(chunk));
  std::size_t fresh = 0;
  for (const std::string& chunk : ChunksOf(after)) fresh += !old.contains(chunk);
  return fresh;
}

// Every published index was cut so: a change here, on either build, would make every old
// copy look new.
TEST(ChunkingTest, CutsAtTheSamePlacesOnEveryBuild) {
  const std::vector<std::string> chunks = ChunksOf(PatternBytes(2 << 20, 1));
  std::vector<std::size_t> sizes;
  for (const std::string& chunk : chunks) sizes.push_back(chunk.size());
  const std::vector<std::size_t> expected = {56796,  87825,  102717, 102419, 73025, 30451, 75028,
                                             84746,  142255, 101806, 74495,  94241, 96959, 42190,
                                             95096,  67501,  81844,  73376,  77814, 65902, 90478,
                                             104726, 26994,  87142,  81014,  35498, 44814};
  EXPECT_EQ(sizes, expected);
}

TEST(ChunkingTest, AChangeCostsOnlyTheChunksAroundIt) {
  const std::string file = PatternBytes(8 << 20, 7);
  const std::string inserted = PatternBytes(1024, 9);
  struct Case {
    const char* what;
    std::string changed;
    std::size_t mostNew;
  };
  std::string flipped = file;
  flipped[3 << 20] ^= 1;
  std::string rewritten = file;
  rewritten.replace(4 << 20, 1 << 20, PatternBytes(1 << 20, 11));
  const Case cases[] = {
      {"one byte flipped", flipped, 2},
      {"1 KiB inserted at the start", inserted + file, 2},
      {"1 KiB inserted in the middle", file.substr(0, 5 << 20) + inserted + file.substr(5 << 20),
       3},
      {"1 KiB cut from the middle", file.substr(0, 5 << 20) + file.substr((5 << 20) + 1024), 3},
      {"1 MiB rewritten", rewritten, (1 << 20) / kChunkParams.least},
      {"grown at the end", file + inserted, 1},
      {"cut at the end", file.substr(0, file.size() - 1000), 1},
  };
  for (const Case& each : cases) {
    EXPECT_LE(NewChunks(file, each.changed), each.mostNew) << each.what;
  }
}

TEST(ChunkingTest, SizesStayWithinTheParameters) {
  struct Case {
    const char* what;
    std::string bytes;
  };
  const Case cases[] = {
      {"noise", PatternBytes(16 << 20, 3)},
      {"one byte over and over, where no cut is ever content-defined", std::string(3 << 20, 'a')},
      {"shorter than the least chunk", PatternBytes(1000, 5)},
      {"empty", ""},
  };
  for (const Case& each : cases) {
    const std::vector<std::string> chunks = ChunksOf(each.bytes);
    std::string joined;
    for (std::size_t at = 0; at < chunks.size(); ++at) {
      EXPECT_LE(chunks[at].size(), kChunkParams.most) << each.what;
      if (at + 1 < chunks.size()) {
        EXPECT_GE(chunks[at].size(), kChunkParams.least) << each.what;
      }
      joined += chunks[at];
    }
    EXPECT_EQ(joined, each.bytes) << each.what;
  }
  const std::vector<std::string> noise = ChunksOf(PatternBytes(16 << 20, 3));
  const std::size_t average = (16 << 20) / noise.size();
  EXPECT_GT(average, kChunkParams.average / 2);
  EXPECT_LT(average, kChunkParams.average * 2);
}

ChunkIndex SampleIndex() {
  ChunkIndex index;
  index.params = kChunkParams;
  for (const std::string& chunk : ChunksOf(PatternBytes(300000, 13))) {
    const std::string stored = EncodeChunk(chunk, 9);
    index.chunks.push_back({static_cast<std::uint32_t>(chunk.size()),
                            static_cast<std::uint32_t>(stored.size()), Sha256Of(chunk)});
    index.size += chunk.size();
  }
  index.md5 = DigestOfBytes("md5");
  index.sha256 = Sha256Of("sha");
  return index;
}

// The server hands the index over: any cut or bent one is refused, never half read.
TEST(ChunkIndexTest, ReadsBackAndRefusesEveryCutAndBentOne) {
  const ChunkIndex index = SampleIndex();
  const std::string bytes = ChunkIndexBytes(index);
  std::string why;
  EXPECT_EQ(ParseChunkIndex(bytes, why), index);
  for (std::size_t length = 0; length < bytes.size(); ++length) {
    EXPECT_FALSE(ParseChunkIndex(bytes.substr(0, length), why)) << length;
  }
  auto bent = [&](std::size_t at, std::uint8_t value) {
    std::string copy = bytes;
    copy[at] = static_cast<char>(value);
    return copy;
  };
  struct Case {
    const char* what;
    std::string bytes;
  };
  const Case cases[] = {
      {"a byte more", bytes + "x"},
      {"another layout", bent(4, 2)},
      {"another way of cutting", bent(64, 2)},
      {"an average that is no power of two", bent(72, 1)},
      {"a file size its chunks do not add up to", bent(8, static_cast<std::uint8_t>(bytes[8] + 1))},
      {"more chunks than entries", bent(80, static_cast<std::uint8_t>(bytes[80] + 1))},
      {"a first chunk longer than the most", bent(86, 0x10)},
      {"a chunk file larger than any", bent(90, 0x10)},
  };
  for (const Case& each : cases) {
    EXPECT_FALSE(ParseChunkIndex(each.bytes, why)) << each.what;
    EXPECT_FALSE(why.empty()) << each.what;
  }
}

// The publisher reads an index it left no further than this: one of the most chunks a file
// can have must fit.
TEST(ChunkIndexTest, TheLargestIndexOfAFileFitsItsBound) {
  ChunkIndex index;
  index.params = {kGearWindow, kGearWindow, kGearWindow};
  index.size = 1000;
  for (std::uint32_t left = 1000; left > 0; left -= std::min(left, kGearWindow)) {
    index.chunks.push_back({std::min(left, kGearWindow), 1, {}});
  }
  const std::string bytes = ChunkIndexBytes(index);
  std::string why;
  ASSERT_TRUE(ParseChunkIndex(bytes, why)) << why;
  EXPECT_EQ(bytes.size(), LargestChunkIndexOf(index.size));
}

TEST(ChunkFileTest, GivesOnlyTheChunkItsNameStandsFor) {
  const std::string text(100000, 't');
  const std::string noise = PatternBytes(100000, 17);
  auto entryOf = [](const std::string& chunk, const std::string& stored) {
    return ChunkEntry{static_cast<std::uint32_t>(chunk.size()),
                      static_cast<std::uint32_t>(stored.size()), Sha256Of(chunk)};
  };
  std::string why;
  for (const std::string& chunk : {text, noise}) {
    const std::string stored = EncodeChunk(chunk, 9);
    EXPECT_EQ(DecodeChunk(stored, entryOf(chunk, stored), why), chunk);
  }
  EXPECT_LT(EncodeChunk(text, 9).size(), 1000u);
  EXPECT_EQ(EncodeChunk(noise, 9).size(), noise.size() + 1) << "stored when deflate does not pay";

  const std::string stored = EncodeChunk(text, 9);
  const ChunkEntry entry = entryOf(text, stored);
  std::string otherKind = stored;
  otherKind[0] = 7;
  std::string bent = stored;
  bent[stored.size() / 2] ^= 1;
  const std::string other = EncodeChunk(std::string(100000, 'u'), 9);
  struct Case {
    const char* what;
    std::string stored;
  };
  const Case cases[] = {
      {"nothing", ""},
      {"cut", stored.substr(0, stored.size() - 1)},
      {"of another kind", otherKind},
      {"bent", bent},
      {"another chunk of the same sizes", other},
      {"stored, of other bytes", std::string(1, kChunkStored) + std::string(99999, 't') + "u"},
  };
  for (const Case& each : cases) {
    ChunkEntry claimed = entry;
    claimed.stored = static_cast<std::uint32_t>(each.stored.size());
    EXPECT_FALSE(DecodeChunk(each.stored, claimed, why)) << each.what;
  }
  EXPECT_EQ(ChunkNameOf(Sha256Of("")),
            "chunks/e3/e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
}

}  // namespace
