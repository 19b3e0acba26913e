#pragma once

#include <unistd.h>

#include <utility>

// A POSIX descriptor, closed with its owner.
class UniqueFd {
 public:
  explicit UniqueFd(int fd) : fd_(fd) {}
  ~UniqueFd() { Close(); }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;

  int get() const { return fd_; }
  bool IsOpen() const { return fd_ >= 0; }
  // Closes now and says whether close succeeded: a failure there can mean lost data.
  bool Close() {
    int fd = std::exchange(fd_, -1);
    return fd < 0 || close(fd) == 0;
  }

 private:
  int fd_;
};
