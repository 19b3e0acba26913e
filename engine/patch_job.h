#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

// The record that the window polls and the patch worker publishes to. `lock` guards the three
// texts, the four counters and writes of `state`; the worker may read `state` without it.
// Several transfers of one run publish here at once, each under the lock.
// What only the worker uses lives in its run (engine/patch_run.h).
enum class PatchState : std::int32_t {
  Idle = 0,
  Running = 1,
  Relaunch = 2,
  Done = 3,
  Failed = 4,
  Stop = 5,
};

struct PatchJob {
  std::mutex lock;
  std::string itemText;   // the file last taken up, as the player knows it (data\a.dat)
  std::string stageText;  // caption of the running stage
  // The stage's transfers as a whole: bytes that arrived, of those known to come. A signed
  // release tells every file's size before the first byte; otherwise each answer adds its
  // length as it opens, so the total grows while files are asked for.
  std::uint64_t bytesDone = 0;
  std::uint64_t bytesTotal = 0;
  std::int32_t stagePos = 0;  // items of the stage done
  std::int32_t stageRange = 0;
  // The window's inputs, given before the thread starts.
  std::string zone;        // the patch.sys section naming the zone's servers; may be empty
  std::string configPath;  // full path of patch.sys
  std::atomic<PatchState> state{PatchState::Idle};
  // Set by the worker once it has given its work up for a stop: what it still does (closing
  // its connection, saving the status log) changes nothing on disk that a killed run would
  // not leave whole.
  std::atomic<bool> stopTaken{false};
  // Set before the run ends Failed because another run holds the game folder.
  bool folderBusy = false;
  // Why an item failed, naming it ("_data_a_dat.ppk: HTTP 404"), until the next stage begins:
  // the boxes keep their texts, and the window shows this beside them.
  std::string failureReason;
};

// Worker side: the unlocked read of the state between items, and the locked write.
inline PatchState CurrentState(const PatchJob& job) {
  return job.state.load(std::memory_order_acquire);
}
void SetState(PatchJob& job, PatchState state);

// A stage begins: its caption shows and the four counters start again from 0.
void BeginStage(PatchJob& job, const std::string& caption);
// A stage that works through a list: its length, then one count per item done or taken up.
void SetStageRange(PatchJob& job, std::size_t items);
void CountStageItem(PatchJob& job);
// The same, for an item that the item text names.
void CountStageItem(PatchJob& job, const std::string& item);
// The item text alone, for an item taken up that is counted when done.
void NameItem(PatchJob& job, const std::string& item);
// The stage's transfers: bytes known to come, and bytes that arrived.
void AddBytesToFetch(PatchJob& job, std::uint64_t bytes);
void AddBytesFetched(PatchJob& job, std::uint64_t bytes);

void SetFailureReason(PatchJob& job, const std::string& reason);
std::string CurrentFailureReason(PatchJob& job);

// What one poll sees, copied in one locked region.
struct PatchSnapshot {
  std::string itemText;
  std::string stageText;
  std::uint64_t bytesDone = 0;
  std::uint64_t bytesTotal = 0;
  std::int32_t stagePos = 0;
  std::int32_t stageRange = 0;
  PatchState state = PatchState::Idle;
  std::string failureReason;
};

// The window's hold on the job and its one worker thread. The job is shared with the thread,
// so a worker that outlives the stop wait still finds its record and lock intact.
class PatchWorker {
 public:
  using Routine = std::function<void(PatchJob&)>;
  static constexpr std::chrono::milliseconds kStopWait{30000};

  PatchWorker();
  ~PatchWorker();
  PatchWorker(const PatchWorker&) = delete;
  PatchWorker& operator=(const PatchWorker&) = delete;

  // Starts the thread unless one was started before; only then are the inputs copied in.
  // Returns whether this call started it.
  bool Start(const std::string& zone, const std::string& configPath, Routine routine);
  bool Started() const { return started_; }
  PatchSnapshot Poll();
  // Asks a started worker to stop and waits, at most `wait`, for its end or for it to have
  // given its work up. True when either came; a worker still running is left to finish on its
  // own, and the process may end without it.
  bool Stop(std::chrono::milliseconds wait = kStopWait);
  // Waits at most `wait` for a started worker to end; true once it has.
  bool WaitForEnd(std::chrono::milliseconds wait);

  PatchJob& job() { return *job_; }

 private:
  struct Ending;
  std::shared_ptr<PatchJob> job_;
  std::shared_ptr<Ending> ending_;
  std::thread thread_;
  bool started_ = false;
};
