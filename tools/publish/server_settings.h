#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "tools/publish/publish_options.h"

// patch.sys and the patcher's executable (their bytes read beforehand), remote.ver and
// latest.ver, as far as the options ask.
void WriteServerSettings(const PublishOptions& options, const std::optional<std::string>& patchSys,
                         const std::optional<std::string>& patcher);

// On: an empty lock.ftp, which every client takes for maintenance. Off: no lock.ftp.
void SetMaintenance(const std::filesystem::path& serverDir, Maintenance maintenance);
