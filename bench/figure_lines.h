#pragma once

#include <cstdint>
#include <string>

// Figures on stdout, one "name: value" line each, so that a script finds them by name.
// MB are 10^6 bytes, as the title line says.
void PrintFigureTitle(const std::string& title);
void PrintCount(const std::string& name, std::int64_t count);
void PrintSeconds(const std::string& name, double seconds);
// MB/s of `bytes` in `seconds`; "-" when the clock was too coarse for a rate.
void PrintRate(const std::string& name, std::int64_t bytes, double seconds);
