#include "tools/cli/verify_run.h"

#include <memory>

#include "engine/folder_verify.h"
#include "tools/cli/console.h"
#include "tools/cli/patch_run.h"
#include "tools/terminal/printable_text.h"

namespace {

const char* LabelOf(FolderReport::Difference::Kind kind) {
  switch (kind) {
    case FolderReport::Difference::Kind::Missing:
      return "missing: ";
    case FolderReport::Difference::Kind::Differs:
      return "differs: ";
    case FolderReport::Difference::Kind::Refused:
      return "not read: ";
  }
  return "differs: ";
}

}  // namespace

int VerifyGameFolder(const std::string& configPath, Console& console, std::ostream& out) {
  // Shared with the routine: a worker left running at a quit must not outlive its report.
  auto report = std::make_shared<FolderReport>();
  const RunEnd end = WatchRun([report](PatchJob& job) { RunVerifyWorker(job, *report); }, "",
                              configPath, console, [](const RunEnd&) {});
  if (end.state != PatchState::Done) return ExitStatusOf(end);
  std::size_t missing = 0;
  for (const FolderReport::Difference& difference : report->differences) {
    // The keys come from filelist.log, as the server sent it.
    out << LabelOf(difference.kind) << PrintableText(difference.key);
    if (!difference.why.empty()) out << " (" << PrintableText(difference.why) << ")";
    out << "\n";
    if (difference.kind == FolderReport::Difference::Kind::Missing) ++missing;
  }
  if (report->differences.empty()) {
    out << "all " << report->listed << " listed files are as filelist.log lists them\n";
    return 0;
  }
  out << report->differences.size() << " of " << report->listed
      << " listed files are not as filelist.log lists them (" << missing << " missing)\n";
  return kExitFolderDiffers;
}
