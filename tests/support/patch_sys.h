#pragma once

#include <string>
#include <vector>

// The text of a patch.sys whose "Combo"/"Zone0" names `zone`, and whose section of that name
// lists `servers` as "Server1", "Server2", ... with the zone's "Folder". `more` is appended.
inline std::string ZoneConfig(const std::string& zone, const std::vector<std::string>& servers,
                              const std::string& folder = ".", const std::string& more = "") {
  std::string text = "[Combo]\r\nZone0=" + zone + "\r\n[" + zone + "]\r\n";
  for (std::size_t i = 0; i < servers.size(); ++i) {
    text += "Server" + std::to_string(i + 1) + "=" + servers[i] + "\r\n";
  }
  text += "Folder=" + folder + "\r\n";
  return text + more;
}
