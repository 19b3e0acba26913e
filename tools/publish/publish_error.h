#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

// Why a publish stops, worded for the operator; it names the file concerned.
class PublishError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A name as a message shows it: quoted, with line breaks and other control bytes escaped so
// that a bad name cannot break the message it appears in.
std::string Quoted(std::string_view name);
