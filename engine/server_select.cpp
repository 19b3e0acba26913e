#include "engine/server_select.h"

#include <optional>
#include <string>
#include <vector>

#include "engine/control_files.h"
#include "engine/download_file.h"
#include "engine/http_connection.h"
#include "engine/patch_run.h"
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
std::vector<std::string> ReadZoneServers(PatchRun& run) {
  platform::ProfileReader config(run.job.configPath);
  run.port = static_cast<std::uint16_t>(config.Int(run.zone, "Port", kListPort));
  std::vector<std::string> servers;
  for (int number = 1;; ++number) {
    std::string server = config.String(run.zone, "Server" + std::to_string(number), "", kTextSize);
    if (server.empty()) return servers;
    servers.push_back(server);
  }
}

// Picks by the clock, so every attempt within one second takes the same entry.
std::optional<ServerChoice> PickOne(const PatchRun& run, const std::vector<std::string>& servers,
                                    const std::string& folder) {
  if (servers.empty()) return std::nullopt;
  auto index = static_cast<std::uint64_t>(run.inputs.secondsNow()) % servers.size();
  return ServerChoice{servers[index], folder};
}

std::optional<ServerChoice> ChooseServer(PatchRun& run) {
  if (ReleaseIniPresent()) {
    platform::ProfileReader release(platform::CurrentDirectory() + "\\" + kReleaseIni);
    run.port = static_cast<std::uint16_t>(release.Int("FTP", "Port", 80));
    return ServerChoice{release.String("FTP", "IP", "", kTextSize),
                        release.String("FTP", "Folder", "", kTextSize)};
  }
  if (run.zone.empty()) run.zone = run.job.zone;
  if (run.zone.empty()) run.zone = ConfigText(run, "Combo", "Zone0", "");
  if (!run.zone.empty()) {
    std::vector<std::string> servers = ReadZoneServers(run);
    return PickOne(run, servers, ConfigText(run, run.zone, "Folder", "."));
  }
  // No zone at all: the servers that an earlier run's pserv.log listed.
  std::vector<std::string> servers =
      ServerListOfPservLog(ReadStateFile("pserv.log", kLargestPservLog).value_or(""));
  run.port = kListPort;
  std::optional<std::string> remoteVer = ReadStateFile("remote.ver", kLargestNoteFile);
  std::string folder = remoteVer ? FolderOfRemoteVer(*remoteVer).value_or(".") : ".";
  return PickOne(run, servers, folder);
}

// The fetched patch.sys still lists the connected host for the zone.
bool ServerStillListed(PatchRun& run) {
  for (const std::string& entry : ReadZoneServers(run)) {
    if (HostOfListEntry(entry) == run.connection.host()) return true;
  }
  return false;
}

}  // namespace

Outcome ConnectServer(PatchRun& run) {
  BeginStage(run.job, ConfigText(run, "Msg", "UpdateServerList", "Update Server List"));
  std::string lastHost;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    std::optional<ServerChoice> choice = ChooseServer(run);
    if (!choice) {
      lastHost.clear();
      continue;
    }
    ServerAddress address = SplitServerString(choice->server);
    if (address.port) run.port = *address.port;
    lastHost = address.host;
    // An earlier attempt's connection stays open, and Connect then refuses.
    if (!run.connection.Connect(address.host, run.port, address.folder.value_or(choice->folder))) {
      continue;
    }
    // A release that cannot be trusted ends the run before anything is replaced.
    if (run.inputs.releaseKey) {
      if (Outcome trusted = FetchReleaseManifest(run); !trusted) return trusted;
    }
    Outcome fetched = DownloadFile(run, "patch.sys", PatchSysCheck(ReleaseIniPresent()));
    if (fetched) fetched = DownloadFile(run, "pserv.log", PservLogCheck());
    if (!fetched) {
      if (StopAsked(run)) return Outcome::Stopped();  // a quit, not a bad server
      // The player was told the disk is full; another server would not change that.
      if (fetched.kind == Outcome::Kind::DiskFull) return fetched;
      continue;
    }
    if (ReleaseIniPresent() || ServerStillListed(run)) return Outcome::GoOn();
    return Outcome::Relaunch();
  }
  const std::string reason = CurrentFailureReason(run.job);
  platform::ShowMessage("Error connecting patch server - [" + lastHost + "]", "Error",
                        platform::kBoxOk, reason);
  return Outcome::Failed(reason);
}
