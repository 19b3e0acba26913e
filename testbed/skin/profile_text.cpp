#include "testbed/skin/profile_text.h"

#include <algorithm>
#include <cctype>

namespace {

bool SameName(const std::string& a, const std::string& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) ==
           std::tolower(static_cast<unsigned char>(y));
  });
}

bool OneLine(const std::string& text) { return text.find_first_of("\r\n") == std::string::npos; }

}  // namespace

bool ProfileText::Set(const std::string& section, const std::string& key,
                      const std::string& value) {
  if (section.empty() || key.empty() || !OneLine(section) || !OneLine(key) || !OneLine(value) ||
      section.find(']') != std::string::npos || key.find('=') != std::string::npos) {
    return false;
  }
  auto named = std::find_if(sections_.begin(), sections_.end(),
                            [&](const Section& s) { return SameName(s.name, section); });
  if (named == sections_.end()) named = sections_.insert(sections_.end(), Section{section, {}});
  auto entry = std::find_if(named->keys.begin(), named->keys.end(),
                            [&](const auto& k) { return SameName(k.first, key); });
  if (entry == named->keys.end()) {
    named->keys.emplace_back(key, value);
  } else {
    entry->second = value;
  }
  return true;
}

bool ProfileText::Set(const std::string& section, const std::string& key, int value) {
  return Set(section, key, std::to_string(value));
}

std::string ProfileText::Get(const std::string& section, const std::string& key) const {
  for (const Section& named : sections_) {
    if (!SameName(named.name, section)) continue;
    for (const auto& [name, value] : named.keys) {
      if (SameName(name, key)) return value;
    }
  }
  return {};
}

void ProfileText::Erase(const std::string& section, const std::string& key) {
  for (Section& named : sections_) {
    if (!SameName(named.name, section)) continue;
    std::erase_if(named.keys, [&](const auto& k) { return SameName(k.first, key); });
  }
}

std::string ProfileText::Text() const {
  std::string text;
  for (const Section& section : sections_) {
    text += "[" + section.name + "]\r\n";
    for (const auto& [key, value] : section.keys) text += key + "=" + value + "\r\n";
  }
  return text;
}
