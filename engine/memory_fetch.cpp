#include "engine/memory_fetch.h"

#include <algorithm>

#include "engine/control_files.h"
#include "engine/http_connection.h"
#include "engine/patch_run.h"

namespace {

constexpr std::uint32_t kReadSize = 16384;

}  // namespace

std::optional<std::string> FetchIntoMemory(PatchRun& run, HttpConnection& connection,
                                           const std::string& name, std::uint64_t largest,
                                           bool counted, std::string& why) {
  if (connection.OpenFile(name) == -1) {
    why = connection.failure();
    return std::nullopt;
  }
  const std::optional<std::uint64_t> length = connection.ContentLength();
  if (IsWebPageType(connection.Header("Content-Type"))) {
    why = kWebPageAnswer;
  } else if (connection.Status() != 200u) {
    why = "HTTP " + std::to_string(connection.Status().value_or(0)) + " where 200 was due";
  } else if (length && *length > largest) {
    why = "the server announced " + std::to_string(*length) + " bytes, more than the " +
          std::to_string(largest) + " it may have";
  }
  if (!why.empty()) {
    connection.CloseRequest();
    return std::nullopt;
  }
  std::string body;
  if (length) body.reserve(static_cast<std::size_t>(*length));
  char buffer[kReadSize];
  for (;;) {
    if (StopAsked(run)) {
      why = "stopped";
      break;
    }
    std::uint32_t read = 0;
    const std::uint64_t room = largest - std::min<std::uint64_t>(largest, body.size());
    const auto want = static_cast<std::uint32_t>(std::min<std::uint64_t>(kReadSize, room + 1));
    if (!connection.ReadFile(buffer, want, read)) {
      why = connection.failure();
      break;
    }
    if (read == 0) break;
    body.append(buffer, read);
    if (counted) AddBytesFetched(run.job, read);
    if (body.size() > largest) {
      why = "the answer goes on past the " + std::to_string(largest) + " bytes it may have";
      break;
    }
  }
  connection.CloseRequest();
  if (!why.empty()) return std::nullopt;
  if (length && body.size() != *length) {
    why = "the answer ended after " + std::to_string(body.size()) + " of " +
          std::to_string(*length) + " bytes";
    return std::nullopt;
  }
  return body;
}
