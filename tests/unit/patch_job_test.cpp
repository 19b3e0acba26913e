#include "engine/patch_job.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>
#include <utility>
#include <vector>

using namespace std::chrono_literals;

namespace {
void WaitUntil(const std::atomic<bool>& flag) {
  for (int i = 0; i < 2000 && !flag.load(); ++i) std::this_thread::sleep_for(5ms);
  ASSERT_TRUE(flag.load());
}

// Starts a routine that runs until it is asked to stop, and then does `atStop`; returns once
// the routine runs.
void StartUntilStopped(PatchWorker& worker, std::function<void(PatchJob&)> atStop) {
  worker.Start("", "", [atStop = std::move(atStop)](PatchJob& job) {
    SetState(job, PatchState::Running);
    while (CurrentState(job) != PatchState::Stop) std::this_thread::sleep_for(1ms);
    atStop(job);
  });
  while (worker.Poll().state != PatchState::Running) std::this_thread::sleep_for(1ms);
}

TEST(PatchWorkerTest, PollBeforeTheWorkerRunsSeesTheIdleRecord) {
  PatchWorker worker;
  PatchSnapshot seen = worker.Poll();
  EXPECT_EQ(seen.state, PatchState::Idle);
  EXPECT_EQ(seen.bytesTotal, 0);
  EXPECT_EQ(seen.stageText, "");
  EXPECT_EQ(CurrentState(worker.job()), PatchState::Idle);
}

TEST(PatchWorkerTest, PollCopiesWhatTheWorkerPublished) {
  PatchWorker worker;
  std::atomic<bool> published{false};
  worker.Start("zone1", "C:\\g\\patch.sys", [&](PatchJob& job) {
    {
      std::lock_guard<std::mutex> guard(job.lock);
      job.stageText = "Update Server List";
      job.itemText = "data.ppk";
      job.bytesDone = 512;
      job.bytesTotal = 2048;
      job.stagePos = 1;
      job.stageRange = 3;
    }
    SetState(job, PatchState::Running);
    published = true;
  });
  WaitUntil(published);
  PatchSnapshot seen = worker.Poll();
  EXPECT_EQ(seen.stageText, "Update Server List");
  EXPECT_EQ(seen.itemText, "data.ppk");
  EXPECT_EQ(seen.bytesDone, 512);
  EXPECT_EQ(seen.bytesTotal, 2048);
  EXPECT_EQ(seen.stagePos, 1);
  EXPECT_EQ(seen.stageRange, 3);
  EXPECT_EQ(seen.state, PatchState::Running);
}

TEST(PatchWorkerTest, SecondStartMakesNoThreadAndKeepsTheInputs) {
  PatchWorker worker;
  std::atomic<int> runs{0};
  std::atomic<bool> release{false};
  auto routine = [&](PatchJob&) {
    ++runs;
    while (!release) std::this_thread::sleep_for(1ms);
  };
  EXPECT_TRUE(worker.Start("first", "C:\\a\\patch.sys", routine));
  EXPECT_FALSE(worker.Start("second", "C:\\b\\patch.sys", routine));
  EXPECT_EQ(worker.job().zone, "first");
  EXPECT_EQ(worker.job().configPath, "C:\\a\\patch.sys");
  release = true;
  worker.Stop();
  EXPECT_EQ(runs.load(), 1);
}

TEST(PatchWorkerTest, StopBeforeStartReturnsAtOnceAndLeavesTheState) {
  PatchWorker worker;
  auto before = std::chrono::steady_clock::now();
  worker.Stop();
  EXPECT_LT(std::chrono::steady_clock::now() - before, 1s);
  EXPECT_EQ(CurrentState(worker.job()), PatchState::Idle);
}

TEST(PatchWorkerTest, StopAsksTheWorkerToStopAndWaitsForIt) {
  PatchWorker worker;
  std::atomic<bool> sawStop{false};
  StartUntilStopped(worker, [&](PatchJob&) { sawStop = true; });
  worker.Stop();
  EXPECT_TRUE(sawStop.load());
  EXPECT_EQ(worker.Poll().state, PatchState::Stop);
}

// A worker stuck in a message box ignores the stop request; the window gives up waiting and is
// destroyed, and the worker must still find its record when it wakes up (checked by ASan).
TEST(PatchWorkerTest, WaitForEndTellsWhetherTheWorkerHasEnded) {
  PatchWorker worker;
  EXPECT_FALSE(worker.WaitForEnd(0ms)) << "nothing started";
  std::atomic<bool> release{false};
  worker.Start("zone", "path", [&](PatchJob& job) {
    while (!release.load()) std::this_thread::sleep_for(1ms);
    SetState(job, PatchState::Done);
  });
  EXPECT_FALSE(worker.WaitForEnd(20ms));
  release = true;
  EXPECT_TRUE(worker.WaitForEnd(5000ms));
  EXPECT_EQ(worker.Poll().state, PatchState::Done) << "the end is seen with its final state";
  EXPECT_TRUE(worker.WaitForEnd(0ms)) << "and stays seen";
}

// A worker that has given its work up may take long to close its connection; the window's
// stop does not wait for that.
TEST(PatchWorkerTest, StopReturnsOnceTheWorkerHasGivenItsWorkUp) {
  PatchWorker worker;
  std::atomic<bool> release{false};
  StartUntilStopped(worker, [&](PatchJob& job) {
    job.stopTaken = true;
    while (!release.load()) std::this_thread::sleep_for(1ms);
  });
  EXPECT_TRUE(worker.Stop());
  EXPECT_FALSE(worker.WaitForEnd(0ms)) << "returned before the worker ended";
  release = true;
  EXPECT_TRUE(worker.WaitForEnd(5000ms));
  EXPECT_FALSE(PatchWorker().Stop()) << "nothing started";
}

TEST(PatchWorkerTest, WorkerOutlivingTheWaitKeepsItsRecord) {
  auto finished = std::make_shared<std::atomic<bool>>(false);
  {
    PatchWorker worker;
    worker.Start("zone", "path", [finished](PatchJob& job) {
      std::this_thread::sleep_for(300ms);
      {
        std::lock_guard<std::mutex> guard(job.lock);
        job.itemText = "written after the window went away";
        job.bytesDone += 1;
      }
      SetState(job, PatchState::Failed);
      *finished = true;
    });
    EXPECT_FALSE(worker.Stop(20ms));
    EXPECT_FALSE(finished->load());
  }
  WaitUntil(*finished);
}

TEST(PatchWorkerTest, WorkerThatThrowsEndsAsFailed) {
  PatchWorker worker;
  worker.Start("", "", [](PatchJob& job) {
    SetState(job, PatchState::Running);
    throw std::runtime_error("from a library");
  });
  PatchState end = PatchState::Running;
  for (int i = 0; i < 2000 && end != PatchState::Failed; ++i) {
    std::this_thread::sleep_for(1ms);
    end = worker.Poll().state;
  }
  EXPECT_EQ(end, PatchState::Failed);
  worker.Stop();
}

TEST(PatchJobCountersTest, TransfersAtOnceAddUpPast4GiB) {
  PatchJob job;
  BeginStage(job, "Downloading game files");
  constexpr std::uint64_t kFile = 700ull << 20;  // eight of them pass 32 bits
  std::vector<std::thread> transfers;
  for (int i = 0; i < 8; ++i) {
    transfers.emplace_back([&job] {
      AddBytesToFetch(job, kFile);
      for (int read = 0; read < 1000; ++read) AddBytesFetched(job, kFile / 1000);
      CountStageItem(job);
    });
  }
  for (std::thread& transfer : transfers) transfer.join();
  EXPECT_EQ(job.bytesTotal, 8 * kFile);
  EXPECT_EQ(job.bytesDone, 8 * (kFile / 1000 * 1000));
  EXPECT_EQ(job.stagePos, 8);
}

TEST(PatchJobCountersTest, AFailuresReasonStaysUntilTheNextStageWhichStartsFromNothing) {
  PatchJob job;
  BeginStage(job, "Downloading game files");
  SetStageRange(job, 3);
  AddBytesToFetch(job, 100);
  AddBytesFetched(job, 60);
  SetFailureReason(job, "_a.ppk: HTTP 404");
  // The other transfers go on: their items and bytes leave the reason in place.
  NameItem(job, "data\\b.dat");
  AddBytesFetched(job, 10);
  CountStageItem(job, "data\\b.dat");
  EXPECT_EQ(CurrentFailureReason(job), "_a.ppk: HTTP 404");
  BeginStage(job, "Decompressing Files");
  EXPECT_EQ(CurrentFailureReason(job), "");
  EXPECT_EQ(job.stageText, "Decompressing Files");
  EXPECT_EQ(job.bytesDone, 0u);
  EXPECT_EQ(job.bytesTotal, 0u);
  EXPECT_EQ(job.stagePos, 0);
  EXPECT_EQ(job.stageRange, 0);
}
}  // namespace
