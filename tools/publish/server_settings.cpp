#include "tools/publish/server_settings.h"

#include "tools/publish/publish_error.h"
#include "tools/publish/served_file.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kLockFile = "lock.ftp";

// The patcher takes everything from two bytes after the first line break to the end as the
// folder, so nothing may follow it.
std::string RemoteVerBytes(const std::string& version, const std::optional<std::string>& folder) {
  return version + "\r\n" + folder.value_or("");
}

}  // namespace

void WriteServerSettings(const PublishOptions& options, const std::optional<std::string>& patchSys,
                         const std::optional<std::string>& patcher) {
  if (patchSys) ReplaceFile(options.serverDir, "patch.sys", *patchSys);
  // The patcher fetches its executable whole, not as a package.
  if (patcher) ReplaceFile(options.serverDir, "veldra.exe", *patcher);
  if (options.required) {
    ReplaceFile(options.serverDir, "remote.ver", RemoteVerBytes(*options.required, options.folder));
  }
  if (options.latest) ReplaceFile(options.serverDir, "latest.ver", *options.latest + "\r\n");
}

void SetMaintenance(const fs::path& serverDir, Maintenance maintenance) {
  if (maintenance == Maintenance::On) {
    ReplaceFile(serverDir, kLockFile, "");
  } else {
    std::error_code error;
    fs::remove(serverDir / kLockFile, error);
    if (error) throw PublishError("cannot remove " + Quoted((serverDir / kLockFile).string()));
  }
  SyncFolder(serverDir);
}
