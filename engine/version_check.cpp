#include "engine/version_check.h"

#include <cstdio>
#include <string>

#include "engine/control_files.h"
#include "engine/download_file.h"
#include "engine/http_connection.h"
#include "engine/patch_run.h"
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

int Ask(const PatchRun& run, const char* key, const char* fallback, unsigned style) {
  return platform::ShowMessage(ConfigText(run, "ErrMsg", key, fallback), "Error", style);
}

Outcome OpenDownloadPage(PatchRun& run) {
  platform::ShellOpen(ConfigText(run, "ErrMsg", "PatchURL", ""));
  return Outcome::Stopped();
}

}  // namespace

Outcome CheckVersion(PatchRun& run) {
  if (Outcome fetched = DownloadFile(run, "remote.ver", VersionFileCheck()); !fetched) {
    if (StopAsked(run)) return Outcome::Stopped();
    Ask(run, "ErrRemoteVer", "Error Opening remote version file", platform::kBoxOk);
    return fetched;
  }
  const float required = ReadVersion("remote.ver");
  const float installed = ReadVersion("local.ver");
  if (required > installed) {
    if (Ask(run, "VersionIncorrect", "Error Version Incorrect, Please download new version",
            platform::kBoxYesNo) == platform::kAnswerYes) {
      return OpenDownloadPage(run);
    }
    return Outcome::Failed();
  }
  // Without latest.ver the run goes on; a stop while it arrived ends it.
  if (!DownloadFile(run, "latest.ver", VersionFileCheck())) {
    return StopAsked(run) ? Outcome::Stopped() : Outcome::GoOn();
  }
  if (ReadVersion("latest.ver") > installed &&
      Ask(run, "VersionUpdate", "There is a new version, do you want to download now?",
          platform::kBoxYesNo) == platform::kAnswerYes) {
    return OpenDownloadPage(run);
  }
  return Outcome::GoOn();
}
