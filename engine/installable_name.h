#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// Why a key of the file list (\data\a.dat) cannot be installed below the game folder, whose
// own path is `folderLength` long: it would leave the folder, name a device, hold what no
// Windows file name may, or be too long for its package or its file. None when it can be.
std::optional<std::string> WhyNotInstallable(std::string_view key, std::size_t folderLength);
