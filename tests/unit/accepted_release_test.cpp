#include "engine/accepted_release.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "engine/patch_run.h"
#include "engine/release_check.h"
#include "platform/files.h"
#include "tests/support/scratch_folder.h"
#include "tests/support/scripted_prompt.h"

namespace {

// testbed/release_test.key signed these.
constexpr const char* kKey =
    "p256:37640123cba98c3ae1eea2e719e67ec12f527b8aec42297b813a4ba958b23bbd845fb2867bcbafe28376"
    "6186e7cb85bc0182dc6794f24dc8ffdef6f3b67898ae";
std::string Signed(int release, const char* signature) {
  return "veldra-release 1\nrelease " + std::to_string(release) +
         "\npublished 2026-12-10T05:40:00Z\nfile " + std::string(64, 'a') +
         " 5 _a_dat.ppk\nsignature " + signature + "\n";
}
const std::string kRelease7 =
    Signed(7,
           "c5c334d68775ffead8a74e65f0dfef03abc5023532d33e9a0ab3b1f6391b1d13c2b5e0f0f713db1864f6d"
           "b427b2ea14b980537deb3cf6965eec4819a4d704a3f");
const std::string kRelease9 =
    Signed(9,
           "3efd4dafbdd23abc58d562a2e907eb493dbe3b1711159ebb93e9660a8141c0eb0173d0511d7a4761afdf2"
           "8d441bc5c77cf94f13651aa41a4b2dee633c927122f");
// One character of the signed text changed: '0' of the time made '1'.
std::string Damaged(std::string text) {
  text[text.find("05:40")] = '1';
  return text;
}
const std::string kDamaged9 = Damaged(kRelease9);

constexpr const char* kFolder = "(a folder)";
using State = AcceptedRelease::State;

// The record's two files as a test leaves them: none is missing, kFolder a folder.
void Leave(const ScratchFolder& folder, const char* name, const std::optional<std::string>& bytes) {
  if (bytes == kFolder) {
    ASSERT_TRUE(platform::CreateFolder(name));
  } else if (bytes) {
    folder.Write(name, *bytes);
  }
}

platform::P256PublicKey Key() { return *ParseReleaseKey(kKey); }

TEST(AcceptedReleaseTest, TheSoundFileGivesTheNumberAndADamagedPairIsToldAsSuch) {
  const struct {
    const char* what;
    std::optional<std::string> log, copy;
    State state;
    std::uint64_t number;
  } cases[] = {
      {"a pair that agrees", "9\r\n", kRelease9, State::Known, 9},
      {"a bit flipped in the log into another digit", "1\r\n", kRelease9, State::Known, 9},
      {"a bit flipped in the log into no digit", ")\r\n", kRelease9, State::Known, 9},
      {"a log one release behind, as a crash leaves it", "7\r\n", kRelease9, State::Known, 9},
      {"a junk log", "junk", kRelease9, State::Known, 9},
      {"an empty log", "", kRelease9, State::Known, 9},
      {"no log", std::nullopt, kRelease9, State::Known, 9},
      {"a log as a folder", kFolder, kRelease9, State::Known, 9},
      {"a damaged copy", "9\r\n", kDamaged9, State::Known, 9},
      {"a copy as a folder", "9\r\n", kFolder, State::Known, 9},
      {"a folder of an earlier patcher", "12\r\n", std::nullopt, State::Known, 12},
      {"the last number there is", "18446744073709551615\r\n", std::nullopt, State::Known,
       18446744073709551615u},
      {"nothing", std::nullopt, std::nullopt, State::None, 0},
      {"both damaged", "9\r", kDamaged9, State::Damaged, 0},
      {"a junk log alone", "junk", std::nullopt, State::Damaged, 0},
      {"an empty log alone", "", std::nullopt, State::Damaged, 0},
      {"a leading zero", "09\r\n", std::nullopt, State::Damaged, 0},
      {"a sign", "+9\r\n", std::nullopt, State::Damaged, 0},
      {"past the last number", "18446744073709551616\r\n", std::nullopt, State::Damaged, 0},
      {"an oversized log", std::string(30, '9') + "\r\n", std::nullopt, State::Damaged, 0},
      {"a log as a folder alone", kFolder, std::nullopt, State::Damaged, 0},
      {"a damaged copy alone", std::nullopt, kDamaged9, State::Damaged, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ScratchFolder folder;
    Leave(folder, kAcceptedReleaseName, c.log);
    Leave(folder, kAcceptedCopyName, c.copy);
    const AcceptedRelease read = ReadAcceptedRelease(Key());
    EXPECT_EQ(read.state, c.state);
    EXPECT_EQ(read.number, c.number);
  }
}

TEST(AcceptedReleaseTest, ARecordThatCannotBeWrittenWholeLeavesAPairThatIsReadRight) {
  ScratchFolder folder;
  std::string why;
  ASSERT_TRUE(RecordAcceptedRelease(kRelease7, 7, why)) << why;
  EXPECT_EQ(folder.Read(kAcceptedReleaseName), "7\r\n");
  EXPECT_EQ(folder.Read(kAcceptedCopyName), kRelease7);

  ASSERT_TRUE(platform::RemoveFile(kAcceptedReleaseName));
  ASSERT_TRUE(platform::CreateFolder(kAcceptedReleaseName));
  EXPECT_FALSE(RecordAcceptedRelease(kRelease9, 9, why));
  EXPECT_NE(why.find(kAcceptedReleaseName), std::string::npos) << why;
  EXPECT_EQ(ReadAcceptedRelease(Key()).number, 9u) << "the copy, written first, counts";
}

// What a run makes of the server's release.sig with the folder's record as it finds it.
TEST(AcceptedReleaseTest, ARunRefusesOlderReleasesAndStartsADamagedRecordAnew) {
  const struct {
    const char* what;
    std::optional<std::string> log, copy;
    const std::string& served;
    bool taken;
    std::string logAfter, copyAfter;
    bool noted;
  } cases[] = {
      {"a new folder", std::nullopt, std::nullopt, kRelease7, true, "7\r\n", kRelease7, false},
      {"a newer release", "7\r\n", kRelease7, kRelease9, true, "9\r\n", kRelease9, false},
      {"an earlier patcher's folder", "7\r\n", std::nullopt, kRelease9, true, "9\r\n", kRelease9,
       false},
      {"an older release", "9\r\n", kRelease9, kRelease7, false, "9\r\n", kRelease9, false},
      {"an older release, the log flipped lower", "1\r\n", kRelease9, kRelease7, false, "1\r\n",
       kRelease9, false},
      {"the same release, the log junk", "junk", kRelease9, kRelease9, true, "junk", kRelease9,
       false},
      {"a damaged record", "junk", kDamaged9, kRelease7, true, "7\r\n", kRelease7, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ScratchFolder folder;
    Leave(folder, kAcceptedReleaseName, c.log);
    Leave(folder, kAcceptedCopyName, c.copy);
    PatchJob job;
    PatchRun run{job};
    run.inputs.releaseKey = Key();
    std::vector<std::string> notes;
    run.inputs.tellNote = [&](const std::string& note) { notes.push_back(note); };
    ScriptedPrompt prompt;
    if (!c.taken) prompt.Then(platform::kAnswerOk);

    EXPECT_EQ(static_cast<bool>(TakeSignedRelease(run, c.served)), c.taken);

    EXPECT_EQ(run.manifest.has_value(), c.taken);
    if (!c.taken) {
      ASSERT_EQ(prompt.Shown().size(), 1u);
      EXPECT_NE(prompt.Shown()[0].text.find("older than release 9"), std::string::npos)
          << prompt.Shown()[0].text;
    }
    EXPECT_EQ(folder.Read(kAcceptedReleaseName), c.logAfter);
    EXPECT_EQ(folder.Read(kAcceptedCopyName), c.copyAfter);
    ASSERT_EQ(notes.size(), c.noted ? 1u : 0u);
    if (c.noted) {
      EXPECT_NE(notes[0].find("was damaged"), std::string::npos) << notes[0];
    }
  }
}

}  // namespace
