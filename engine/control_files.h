#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "engine/download_file.h"
#include "engine/md5.h"

// The small files the run takes from the patch server and keeps in the game folder in place
// of the old ones. A captive portal or a proxy may answer any request with a page of its own;
// a file replaced by one would cost the player the server and the skin until a reinstall. So
// each is checked whole, in temp\, before it is moved over the old copy, and none may be
// longer than its kind ever is: an endless answer must not hold the run.

// What the player reads when the network answered with a page of its own.
inline constexpr const char* kWebPageAnswer =
    "the network answered with a web page (a sign-in page of a Wi-Fi or a proxy): sign in to "
    "the network and try again";

// Whether an answer's Content-Type is a web page's.
bool IsWebPageType(const std::optional<std::string>& contentType);
// Whether the bytes begin as an HTML page does.
bool LooksLikeWebPage(std::string_view bytes);

// Why each file is not what the run reads from it; none when it is. patch.sys is read with
// the profile rules, from `fullPath`; without a fixed server (common\Release.ini) it must name
// a zone in [Combo] whose section lists a server.
std::optional<std::string> WhyNotPatchSys(const std::string& fullPath, bool fixedServer);
std::optional<std::string> WhyNotPservLog(std::string_view bytes);
std::optional<std::string> WhyNotVersionFile(std::string_view bytes);

FileCheck PatchSysCheck(bool fixedServer);
FileCheck PservLogCheck();
// Fetched only for the digest pserv.log announced: any other content is refused.
FileCheck FileListCheck(const Digest& announced);
// remote.ver and latest.ver.
FileCheck VersionFileCheck();
