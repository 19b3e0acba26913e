#include "launcher/app.h"

#include <commctrl.h>
#include <objbase.h>

#include <utility>

#include "engine/built_in_key.h"
#include "engine/worker.h"
#include "launcher/command_line.h"
#include "launcher/relaunch.h"
#include "platform/files.h"
#include "platform/prompt.h"
#include "window/main_dialog.h"

namespace {
// COM is released on every path once it was initialised.
class ComApartment {
 public:
  ComApartment() : result_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
  ~ComApartment() {
    if (SUCCEEDED(result_)) CoUninitialize();
  }
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;
  bool ok() const { return SUCCEEDED(result_); }

 private:
  HRESULT result_;
};
}  // namespace

BOOL CVeldrinApp::InitInstance() {
  ComApartment com;
  if (!com.ok()) {
    platform::ShowAppMessage("Failed to initialize COM library.");
    return FALSE;
  }
  InitCommonControls();

  std::string patchSysPath = PatchSysPath(platform::CurrentDirectory());
  LaunchPlan plan = PlanLaunch(m_lpCmdLine);
  if (plan.role == LaunchRole::CopyAndRelaunch) {
    CopyAndStartPatcher(plan, platform::ProfileReader(patchSysPath));
    return FALSE;
  }

  CVeldrinDlg dialog;
  dialog.m_patchSysPath = patchSysPath;
  dialog.m_steam = plan.steam;
  RunInputs inputs;
  inputs.releaseKey = BuiltInReleaseKey();
  dialog.m_workerRoutine = PatchRoutine(std::move(inputs));
  dialog.DoModal();
  // A worker that gave its work up may still be closing its connection: it must not meet the
  // program's statics being torn down, so the process ends here, without them.
  if (dialog.m_job.Started() && !dialog.m_job.WaitForEnd(std::chrono::milliseconds(0))) {
    ExitProcess(0);
  }
  return FALSE;
}

// The text after the program name, as the dialog framework hands it to the application.
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int) {
  CVeldrinApp app(commandLine != nullptr ? commandLine : "");
  return app.InitInstance();
}
