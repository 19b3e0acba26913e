#include "engine/server_select.h"

#include <optional>
#include <string>
#include <vector>

#include "engine/control_files.h"
#include "engine/download_file.h"
#include "engine/http_connection.h"
#include "engine/patch_job.h"
#include "engine/pserv_log.h"
#include "engine/release_check.h"
#include "engine/server_string.h"
#include "engine/state_file.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/profile.h"
#include "platform/prompt.h"

namespace {

constexpr int kAttempts = 10;
constexpr int kTextSize = 1024;
constexpr std::uint16_t kListPort = 2100;
constexpr const char* kReleaseIni = "common\\Release.ini";

struct ServerChoice {
  std::string server;  // a server string: host, then optionally ":port" and/or "/folder"
  std::string folder;
};

bool ReleaseIniPresent() { return platform::PathExists(kReleaseIni); }

// The zone's "Server1", "Server2", ... up to the first empty one; the zone's port goes with it.
std::vector<std::string> ReadZoneServers(PatchJob& job) {
  platform::ProfileReader config(job.configPath);
  job.port = static_cast<std::uint16_t>(config.Int(job.zone, "Port", kListPort));
  std::vector<std::string> servers;
  for (int number = 1;; ++number) {
    std::string server = config.String(job.zone, "Server" + std::to_string(number), "", kTextSize);
    if (server.empty()) return servers;
    servers.push_back(server);
  }
}

// Picks by the clock, so every attempt within one second takes the same entry.
std::optional<ServerChoice> PickOne(const PatchJob& job, const std::vector<std::string>& servers,
                                    const std::string& folder) {
  if (servers.empty()) return std::nullopt;
  auto index = static_cast<std::uint64_t>(job.secondsNow()) % servers.size();
  return ServerChoice{servers[index], folder};
}

std::optional<ServerChoice> ChooseServer(PatchJob& job) {
  if (ReleaseIniPresent()) {
    platform::ProfileReader release(platform::CurrentDirectory() + "\\" + kReleaseIni);
    job.port = static_cast<std::uint16_t>(release.Int("FTP", "Port", 80));
    return ServerChoice{release.String("FTP", "IP", "", kTextSize),
                        release.String("FTP", "Folder", "", kTextSize)};
  }
  if (job.zone.empty()) job.zone = ConfigText(job, "Combo", "Zone0", "");
  if (!job.zone.empty()) {
    std::vector<std::string> servers = ReadZoneServers(job);
    return PickOne(job, servers, ConfigText(job, job.zone, "Folder", "."));
  }
  // No zone at all: the servers that an earlier run's pserv.log listed.
  std::vector<std::string> servers =
      ServerListOfPservLog(ReadStateFile("pserv.log", kLargestPservLog).value_or(""));
  job.port = kListPort;
  std::optional<std::string> remoteVer = ReadStateFile("remote.ver", kLargestNoteFile);
  std::string folder = remoteVer ? FolderOfRemoteVer(*remoteVer).value_or(".") : ".";
  return PickOne(job, servers, folder);
}

// The fetched patch.sys still lists the connected host for the zone.
bool ServerStillListed(PatchJob& job) {
  for (const std::string& entry : ReadZoneServers(job)) {
    if (HostOfListEntry(entry) == job.connection.host()) return true;
  }
  return false;
}

}  // namespace

bool ConnectServer(PatchJob& job) {
  BeginStage(job, ConfigText(job, "Msg", "UpdateServerList", "Update Server List"));
  std::string lastHost;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    std::optional<ServerChoice> choice = ChooseServer(job);
    if (!choice) {
      lastHost.clear();
      continue;
    }
    ServerAddress address = SplitServerString(choice->server);
    if (address.port) job.port = *address.port;
    lastHost = address.host;
    // An earlier attempt's connection stays open, and Connect then refuses.
    if (!job.connection.Connect(address.host, job.port, address.folder.value_or(choice->folder))) {
      continue;
    }
    // A release that cannot be trusted ends the run before anything is replaced.
    if (job.releaseKey && !FetchReleaseManifest(job)) {
      if (CurrentState(job) != PatchState::Stop) SetState(job, PatchState::Failed);
      return false;
    }
    if (!DownloadFile(job, "patch.sys", PatchSysCheck(ReleaseIniPresent())) ||
        !DownloadFile(job, "pserv.log", PservLogCheck())) {
      if (CurrentState(job) == PatchState::Stop) return false;  // a quit, not a bad server
      // The player was told the disk is full; another server would not change that.
      if (job.diskFull) {
        SetState(job, PatchState::Failed);
        return false;
      }
      continue;
    }
    if (ReleaseIniPresent() || ServerStillListed(job)) return true;
    SetState(job, PatchState::Relaunch);
    return false;
  }
  platform::ShowMessage("Error connecting patch server - [" + lastHost + "]", "Error",
                        platform::kBoxOk, CurrentFailureReason(job));
  return false;
}
