#pragma once

#include <string>
#include <utility>
#include <vector>

// The text of an INI file made key by key: sections in the order they were first named, each
// with its keys in order. Names ignore case, as the profile lookups do, so setting a key again
// replaces its value.
class ProfileText {
 public:
  // False, and nothing set, for a name or value that would break the file's lines: a line
  // break anywhere, an empty name, a ']' in the section, a '=' in the key.
  bool Set(const std::string& section, const std::string& key, const std::string& value);
  bool Set(const std::string& section, const std::string& key, int value);
  // The key's value; empty when the file has none.
  std::string Get(const std::string& section, const std::string& key) const;
  // Takes the key out of the file; its section stays, if only as a name.
  void Erase(const std::string& section, const std::string& key);

  // "[section]" and "key=value" lines, each ending with CR LF.
  std::string Text() const;

 private:
  struct Section {
    std::string name;
    std::vector<std::pair<std::string, std::string>> keys;
  };
  std::vector<Section> sections_;
};
