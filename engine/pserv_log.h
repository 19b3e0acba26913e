#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/md5.h"

// pserv.log, as the server publishes it:
//
//   offset  size  content
//        0     4  not read
//        4    16  MD5 of the current filelist.log
//       20    16  MD5 of the current veldra.exe
//       36     -  text: name=server lines separated by CR LF (the server list)
//
// A file too short for a digest holds none, and one shorter than the header no server list.
std::optional<Digest> FileListDigestOfPservLog(std::string_view bytes);
std::optional<Digest> PatcherDigestOfPservLog(std::string_view bytes);
// The list's server entries (what follows each name's '='), in file order.
std::vector<std::string> ServerListOfPservLog(std::string_view bytes);
std::string PservLogBytes(const Digest& fileList, const Digest& patcher,
                          const std::vector<std::pair<std::string, std::string>>& servers);
