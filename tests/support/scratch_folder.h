#pragma once

#include <string>

// A fresh empty folder that is the current directory for the life of the object, as the game
// folder is for the program. Removed with its contents afterwards.
class ScratchFolder {
 public:
  ScratchFolder();
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const std::string& path() const { return path_; }

  // Writes `content` to the relative name, making its folders.
  void Write(const std::string& name, const std::string& content) const;
  std::string Read(const std::string& name) const;

 private:
  std::string previous_;
  std::string path_;
};
