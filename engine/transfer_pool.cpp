#include "engine/transfer_pool.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>

#include "engine/download_file.h"
#include "engine/file_digests.h"
#include "engine/http_connection.h"
#include "engine/patch_run.h"
#include "platform/profile.h"

namespace {

// A fetch that ended, for the calling thread.
struct Ended {
  std::size_t index = 0;
  Fetched fetched;
};

// Bytes of items in memory that may wait for the calling thread before the transfers
// pause: enough to keep it busy, little beside the limit of 64 MiB for the whole run.
constexpr std::size_t kMostWaitingInMemory = 8 << 20;

std::size_t InMemory(const Ended& ended) {
  return ended.fetched.inMemory ? ended.fetched.inMemory->capacity() : 0;
}

// Where the transfers leave what ended, and the calling thread waits for it.
class Inbox {
 public:
  void AddSender() {
    std::lock_guard<std::mutex> hold(mutex_);
    ++senders_;
  }
  void Put(Ended ended) {
    std::lock_guard<std::mutex> hold(mutex_);
    waitingInMemory_ += InMemory(ended);
    ended_.push_back(std::move(ended));
    signal_.notify_all();
  }
  // Until the items in memory that wait leave room for more.
  void WaitForRoom() {
    std::unique_lock<std::mutex> hold(mutex_);
    signal_.wait(hold, [this] { return waitingInMemory_ < kMostWaitingInMemory; });
  }
  void SenderDone() {
    std::lock_guard<std::mutex> hold(mutex_);
    --senders_;
    signal_.notify_one();
  }
  // The next that ended; none once every sender is done and all was taken.
  std::optional<Ended> Take() {
    std::unique_lock<std::mutex> hold(mutex_);
    signal_.wait(hold, [this] { return !ended_.empty() || senders_ == 0; });
    if (ended_.empty()) return std::nullopt;
    Ended next = std::move(ended_.front());
    ended_.pop_front();
    waitingInMemory_ -= InMemory(next);
    signal_.notify_all();
    return next;
  }

 private:
  std::mutex mutex_;
  std::condition_variable signal_;
  std::deque<Ended> ended_;
  std::size_t senders_ = 0;
  std::size_t waitingInMemory_ = 0;
};

// The files the transfers take in turn, and how many transfers still take them. A file given
// back, as a busy server asks, goes to one of those that go on.
class Files {
 public:
  explicit Files(std::size_t count) : count_(count) {}
  // A transfer begins taking files.
  void Join() {
    std::lock_guard<std::mutex> hold(mutex_);
    ++taking_;
  }
  // The next file's index; none, and one transfer fewer, once all were taken.
  std::optional<std::size_t> Take() {
    std::lock_guard<std::mutex> hold(mutex_);
    if (!givenBack_.empty()) {
      const std::size_t index = givenBack_.back();
      givenBack_.pop_back();
      return index;
    }
    if (next_ < count_) return next_++;
    --taking_;
    return std::nullopt;
  }
  // Gives the file back and ends its transfer, unless it is the last one that takes files.
  bool GiveBack(std::size_t index) {
    std::lock_guard<std::mutex> hold(mutex_);
    if (taking_ <= 1) return false;
    givenBack_.push_back(index);
    --taking_;
    return true;
  }

 private:
  std::mutex mutex_;
  std::size_t next_ = 0;
  const std::size_t count_;
  std::size_t taking_ = 0;
  std::vector<std::size_t> givenBack_;
};

// The files that move now, oldest first: when one ends the item text names the oldest left,
// so a large file that takes long is named while the small ones around it come and go.
class Moving {
 public:
  explicit Moving(PatchJob& job) : job_(job) {}
  void Begin(const std::string& shown) {
    std::lock_guard<std::mutex> hold(mutex_);
    shown_.push_back(shown);
  }
  void End(const std::string& shown) {
    std::lock_guard<std::mutex> hold(mutex_);
    shown_.erase(std::find(shown_.begin(), shown_.end(), shown));
    if (!shown_.empty()) NameItem(job_, shown_.front());
  }

 private:
  PatchJob& job_;
  std::mutex mutex_;
  std::deque<std::string> shown_;
};

// The run's request log, told by one transfer at a time.
HttpConnection::RequestLog SerialLog(const PatchRun& run, std::mutex& lock) {
  if (!run.inputs.requestLog) return {};
  return [&run, &lock](const HttpRequestRecord& record) {
    std::lock_guard<std::mutex> hold(lock);
    run.inputs.requestLog(record);
  };
}

}  // namespace

bool CountSignedPackageSizes(PatchRun& run, const std::vector<std::string>& keys) {
  if (!run.inputs.releaseKey || !run.manifest) return false;
  std::uint64_t total = 0;
  for (const std::string& key : keys) {
    auto listed = run.manifest->files.find(PackageNameOf(key));
    if (listed == run.manifest->files.end()) return false;
    total += listed->second.size;
  }
  AddBytesToFetch(run.job, total);
  return true;
}

int TransfersOf(const PatchRun& run) {
  const int asked = run.inputs.transfers.value_or(
      platform::ProfileReader(run.job.configPath).Int("Download", "Transfers", kDefaultTransfers));
  return std::clamp(asked, 1, kMostTransfers);
}

Outcome RunTransfers(PatchRun& run, std::size_t count, const FetchItem& fetch,
                     const TakeItem& take) {
  if (count == 0) return Outcome::GoOn();
  const std::size_t transfers = std::min(static_cast<std::size_t>(TransfersOf(run)), count);
  std::mutex logLock;
  const HttpConnection::RequestLog log = SerialLog(run, logLock);
  Files files(count);
  std::atomic<bool> halt{false};
  Inbox inbox;

  // One that runs alone on the calling thread must not wait for it to take items.
  auto transfer = [&](bool alone) {
    HttpConnection connection;
    connection.SetRequestLog(log);
    connection.ConnectLike(run.connection);  // one that fails fails its first item, with why
    files.Join();
    for (;;) {
      if (!alone) inbox.WaitForRoom();
      if (halt || StopAsked(run)) break;
      const std::optional<std::size_t> index = files.Take();
      if (!index) break;
      std::optional<Fetched> fetched =
          fetch(connection, *index, [&files, index = *index] { return files.GiveBack(index); });
      if (!fetched) break;  // one connection fewer, as the server asks
      if (!fetched->outcome) halt = true;
      inbox.Put({*index, std::move(*fetched)});
    }
    inbox.SenderDone();
  };
  std::vector<std::thread> threads;
  for (std::size_t started = 0; started < transfers; ++started) {
    inbox.AddSender();
    try {
      threads.emplace_back(transfer, false);
    } catch (const std::system_error&) {
      inbox.SenderDone();  // the system has no thread more to give: fewer transfers
    }
  }
  if (threads.empty()) {
    inbox.AddSender();
    transfer(true);  // one after the other, on this thread
  }

  Outcome result = Outcome::GoOn();
  bool told = false;
  while (std::optional<Ended> ended = inbox.Take()) {
    Fetched& fetched = ended->fetched;
    if (fetched.outcome) {
      Outcome taken = take(ended->index, fetched);
      if (!taken) {
        halt = true;
        if (result) result = std::move(taken);
      }
    } else if (fetched.told || (result && !told)) {
      told = fetched.told;
      result = std::move(fetched.outcome);
    }
  }
  for (std::thread& thread : threads) thread.join();
  return result;
}

Outcome FetchAtOnce(PatchRun& run, const std::vector<std::string>& keys, bool totalCounted,
                    const ArrivedPackage& arrived) {
  if (keys.empty()) return Outcome::GoOn();
  std::atomic<const Transfer*> teller{nullptr};
  Moving moving(run.job);
  auto fetch = [&](HttpConnection& connection, std::size_t index,
                   const std::function<bool()>& giveBack) -> std::optional<Fetched> {
    // After a failure was told the others end without a word.
    if (teller.load() != nullptr) return std::nullopt;
    const std::string& key = keys[index];
    const Transfer mine{connection, key.substr(1), totalCounted, kInMemoryUpTo, &teller, giveBack};
    Received received;
    moving.Begin(mine.shownAs);
    Outcome outcome = DownloadFile(run, mine, PackageNameOf(key), received);
    moving.End(mine.shownAs);
    if (received.gaveWay) return std::nullopt;
    return Fetched{std::move(outcome), received.resumed, teller.load() == &mine,
                   std::move(received.inMemory)};
  };
  auto take = [&](std::size_t index, Fetched& fetched) {
    return arrived(keys[index], fetched.resumed, fetched.inMemory);
  };
  return RunTransfers(run, keys.size(), fetch, take);
}
