#pragma once

#include <functional>
#include <string>

#include "engine/http_connection.h"
#include "engine/patch_run.h"

class Console;

// "veldra-cli: GET URL: STATUS, N bytes, T s", and ": REASON" after it when it failed.
std::string RequestLine(const HttpRequestRecord& request);

// Tells each request of a run's connection on `console` as it ends.
HttpConnection::RequestLog RequestLinesOn(Console& console);

// Tells each note of a run on `console`.
std::function<void(const std::string&)> NotesOn(Console& console);
