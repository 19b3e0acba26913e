#include "engine/version_check.h"

#include <cstdio>
#include <string>

#include "engine/control_files.h"
#include "engine/download_file.h"
#include "engine/http_connection.h"
#include "engine/patch_job.h"
#include "platform/files.h"
#include "platform/prompt.h"
#include "platform/shell.h"

namespace {

// The first number of a version file. A file that cannot be opened for update (missing, or
// read-only) or does not start with a number counts as 1.0.
float ReadVersion(const std::string& name) {
  float version = 1.0f;
  platform::File file;
  if (!file.Open(name, platform::FileMode::ReadWrite, platform::FileShare::ReadWrite)) {
    return version;
  }
  char text[4096];
  std::int64_t got = file.Read(text, sizeof text - 1);
  if (got <= 0) return version;
  text[got] = '\0';
  std::sscanf(text, "%f", &version);
  return version;
}

int Ask(const PatchJob& job, const char* key, const char* fallback, unsigned style) {
  return platform::ShowMessage(ConfigText(job, "ErrMsg", key, fallback), "Error", style);
}

bool OpenDownloadPage(PatchJob& job) {
  platform::ShellOpen(ConfigText(job, "ErrMsg", "PatchURL", ""));
  SetState(job, PatchState::Stop);
  return false;
}

}  // namespace

bool CheckVersion(PatchJob& job) {
  if (!DownloadFile(job, "remote.ver", VersionFileCheck())) {
    if (CurrentState(job) == PatchState::Stop) return false;
    Ask(job, "ErrRemoteVer", "Error Opening remote version file", platform::kBoxOk);
    return false;
  }
  const float required = ReadVersion("remote.ver");
  const float installed = ReadVersion("local.ver");
  if (required > installed) {
    if (Ask(job, "VersionIncorrect", "Error Version Incorrect, Please download new version",
            platform::kBoxYesNo) == platform::kAnswerYes) {
      return OpenDownloadPage(job);
    }
    return false;
  }
  // Without latest.ver the run goes on; a stop while it arrived ends it.
  if (!DownloadFile(job, "latest.ver", VersionFileCheck()))
    return CurrentState(job) != PatchState::Stop;
  if (ReadVersion("latest.ver") > installed &&
      Ask(job, "VersionUpdate", "There is a new version, do you want to download now?",
          platform::kBoxYesNo) == platform::kAnswerYes) {
    return OpenDownloadPage(job);
  }
  return true;
}
