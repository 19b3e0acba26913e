#include "tools/cli/request_lines.h"

#include <cstdio>

#include "tools/cli/console.h"

std::string RequestLine(const HttpRequestRecord& request) {
  char seconds[32];
  std::snprintf(seconds, sizeof seconds, "%.2f", static_cast<double>(request.time.count()) / 1000);
  std::string line = "veldra-cli: GET " + request.url + ": " +
                     (request.status ? std::to_string(*request.status) : "no answer") + ", " +
                     std::to_string(request.bytes) + " bytes, " + seconds + " s";
  if (!request.failure.empty()) line += ": " + request.failure;
  return line;
}

HttpConnection::RequestLog RequestLinesOn(Console& console) {
  return [&console](const HttpRequestRecord& request) { console.Tell(RequestLine(request)); };
}

std::function<void(const std::string&)> NotesOn(Console& console) {
  return [&console](const std::string& note) { console.Tell("veldra-cli: " + note); };
}
