#pragma once

#include <string>

#include "engine/http_connection.h"
#include "engine/patch_job.h"

class Console;

// "veldra-cli: GET URL: STATUS, N bytes, T s", and ": REASON" after it when it failed.
std::string RequestLine(const HttpRequestRecord& request);

// `routine`, with each request of the run's connection told on `console` as it ends.
PatchWorker::Routine WithRequestLines(Console& console, PatchWorker::Routine routine);

// `routine`, with each note of the run told on `console`.
PatchWorker::Routine WithNotes(Console& console, PatchWorker::Routine routine);
