#include "engine/patch_run.h"

#include <utility>

#include "platform/profile.h"

PatchRun::PatchRun(PatchJob& record, RunInputs given) : job(record), inputs(std::move(given)) {
  connection.SetRequestLog(inputs.requestLog);
}

std::string ConfigText(const PatchRun& run, const std::string& section, const std::string& key,
                       const std::string& fallback) {
  return platform::ProfileReader(run.job.configPath).String(section, key, fallback, 1024);
}

Outcome Failure(PatchRun& run, const std::string& reason) {
  SetFailureReason(run.job, reason);
  return Outcome::Failed(reason);
}

Outcome DiskFullFailure(PatchRun& run, const std::string& name) {
  const std::string reason = name + ": the disk is too full";
  SetFailureReason(run.job, reason);
  return Outcome::DiskFull(reason);
}

PatchState EndStateOf(const Outcome& outcome) {
  switch (outcome.kind) {
    case Outcome::Kind::GoOn:
      return PatchState::Running;
    case Outcome::Kind::Stopped:
      return PatchState::Stop;
    case Outcome::Kind::Relaunch:
      return PatchState::Relaunch;
    case Outcome::Kind::Failed:
    case Outcome::Kind::DiskFull:
      break;
  }
  return PatchState::Failed;
}
