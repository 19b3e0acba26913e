#include "engine/patch_job.h"

#include <condition_variable>

void SetState(PatchJob& job, PatchState state) {
  std::lock_guard<std::mutex> guard(job.lock);
  job.state.store(state, std::memory_order_release);
}

void BeginStage(PatchJob& job, const std::string& caption) {
  std::lock_guard<std::mutex> guard(job.lock);
  job.stageText = caption;
  job.failureReason.clear();
  job.bytesDone = 0;
  job.bytesTotal = 0;
  job.stagePos = 0;
  job.stageRange = 0;
}

void SetStageRange(PatchJob& job, std::size_t items) {
  std::lock_guard<std::mutex> guard(job.lock);
  job.stagePos = 0;
  job.stageRange = static_cast<std::int32_t>(items);
}

void CountStageItem(PatchJob& job) {
  std::lock_guard<std::mutex> guard(job.lock);
  ++job.stagePos;
}

void CountStageItem(PatchJob& job, const std::string& item) {
  std::lock_guard<std::mutex> guard(job.lock);
  ++job.stagePos;
  job.itemText = item;
}

void NameItem(PatchJob& job, const std::string& item) {
  std::lock_guard<std::mutex> guard(job.lock);
  job.itemText = item;
}

void AddBytesToFetch(PatchJob& job, std::uint64_t bytes) {
  std::lock_guard<std::mutex> guard(job.lock);
  job.bytesTotal += bytes;
}

void AddBytesFetched(PatchJob& job, std::uint64_t bytes) {
  std::lock_guard<std::mutex> guard(job.lock);
  job.bytesDone += bytes;
}

void SetFailureReason(PatchJob& job, const std::string& reason) {
  std::lock_guard<std::mutex> guard(job.lock);
  job.failureReason = reason;
}

std::string CurrentFailureReason(PatchJob& job) {
  std::lock_guard<std::mutex> guard(job.lock);
  return job.failureReason;
}

// Signalled by the thread as its last act, so the window can wait for it with a time limit.
struct PatchWorker::Ending {
  std::mutex mutex;
  std::condition_variable signal;
  bool ended = false;
};

PatchWorker::PatchWorker()
    : job_(std::make_shared<PatchJob>()), ending_(std::make_shared<Ending>()) {}

PatchWorker::~PatchWorker() {
  if (!thread_.joinable()) return;
  std::unique_lock<std::mutex> guard(ending_->mutex);
  if (ending_->ended) {
    guard.unlock();
    thread_.join();
  } else {
    thread_.detach();
  }
}

bool PatchWorker::Start(const std::string& zone, const std::string& configPath, Routine routine) {
  if (started_) return false;
  job_->zone = zone;
  job_->configPath = configPath;
  started_ = true;
  thread_ = std::thread([job = job_, ending = ending_, routine = std::move(routine)] {
    try {
      routine(*job);
    } catch (...) {
      // The program's code throws nothing; a library that did (out of memory, say) must not
      // take the process down, nor end the run without a word.
      if (CurrentState(*job) == PatchState::Running) {
        SetFailureReason(*job, "the run ended on an unexpected error");
        SetState(*job, PatchState::Failed);
      }
    }
    std::lock_guard<std::mutex> guard(ending->mutex);
    ending->ended = true;
    ending->signal.notify_all();
  });
  return true;
}

PatchSnapshot PatchWorker::Poll() {
  std::lock_guard<std::mutex> guard(job_->lock);
  return {job_->itemText, job_->stageText,  job_->bytesDone,     job_->bytesTotal,
          job_->stagePos, job_->stageRange, CurrentState(*job_), job_->failureReason};
}

bool PatchWorker::Stop(std::chrono::milliseconds wait) {
  if (!started_) return false;
  SetState(*job_, PatchState::Stop);
  // The worker gives its work up deep inside a stage, where it knows nothing of this wait:
  // look for it in short slices.
  constexpr std::chrono::milliseconds kLook{10};
  const auto deadline = std::chrono::steady_clock::now() + wait;
  std::unique_lock<std::mutex> guard(ending_->mutex);
  while (!ending_->ended && !job_->stopTaken.load() &&
         std::chrono::steady_clock::now() < deadline) {
    ending_->signal.wait_for(guard, kLook);
  }
  if (ending_->ended) {
    guard.unlock();
    if (thread_.joinable()) thread_.join();
    return true;
  }
  return job_->stopTaken.load();
}

bool PatchWorker::WaitForEnd(std::chrono::milliseconds wait) {
  if (!started_) return false;
  std::unique_lock<std::mutex> guard(ending_->mutex);
  if (!ending_->signal.wait_for(guard, wait, [this] { return ending_->ended; })) return false;
  guard.unlock();
  if (thread_.joinable()) thread_.join();
  return true;
}
