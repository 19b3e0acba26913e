#pragma once

#include <cstdint>
#include <optional>
#include <string>

class HttpConnection;
struct PatchRun;

// The whole server file `name` over `connection`, kept in memory; none, with why, when the
// server has no such file, answers with a web page, sends more than `largest` bytes, or the
// body breaks off. Tells the player nothing: the caller has a way around every failure. With
// `counted` its bytes count as fetched in the run's job, whose total counted them before. A
// stop ends it after the read in progress.
std::optional<std::string> FetchIntoMemory(PatchRun& run, HttpConnection& connection,
                                           const std::string& name, std::uint64_t largest,
                                           bool counted, std::string& why);
