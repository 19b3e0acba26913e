// The window's side of the patch run: the start command, the poll of the worker's progress
// and the end states.
#include <cctype>
#include <optional>
#include <string>

#include "engine/state_file.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/process_win32.h"
#include "platform/profile.h"
#include "window/main_dialog.h"

namespace {
constexpr UINT kPollIntervalMs = 500;
constexpr std::size_t kMessageSize = 1024;
constexpr std::size_t kZoneSize = 128;
constexpr std::size_t kExeSize = 1024;
constexpr INT_PTR kEndedStarted = 1;  // the game or the relaunched patcher was started
constexpr INT_PTR kEndedFailed = 2;

// The first blank-separated word of "zone.log", at most a zone name's length; none when the
// file cannot be read.
std::optional<std::string> ZoneLogWord() {
  // A larger file, or none, is no zone.
  std::optional<std::string> text = ReadStateFile("zone.log", kLargestNoteFile);
  if (!text) return std::nullopt;
  auto blank = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
  std::size_t start = 0;
  while (start < text->size() && blank((*text)[start])) ++start;
  std::size_t end = start;
  while (end < text->size() && !blank((*text)[end]) && end - start < kZoneSize - 1) ++end;
  return text->substr(start, end - start);
}

void WriteNumberFile(const std::string& name, std::int32_t number) {
  platform::File file;
  if (!file.Open(name, platform::FileMode::Write)) return;
  std::string text = std::to_string(number);
  file.Write(text.data(), text.size());
}
}  // namespace

void CVeldrinDlg::OnStartCommand() {
  m_commandButtons[4].EnableWindow(FALSE);  // CN1; Start itself stays enabled
  platform::ProfileReader config(m_patchSysPath);
  std::string operatorZone =
      config.String("Combo", "Zone" + std::to_string(m_operator), "", kZoneSize);
  std::string zone = m_zoneCombo.GetWindowText();
  if (zone.empty()) {
    if (std::optional<std::string> word = ZoneLogWord()) {
      zone = *word;
    } else if (m_zoneCombo.IsWindowVisible()) {
      MessageBox(
          config.String("ErrMsg", "ErrNoZone", "Error please select patch zone", kMessageSize));
      return;
    } else {
      zone = operatorZone;
    }
  }
  if (zone.empty()) zone = operatorZone;

  WriteChoiceFiles();
  for (oBitmapBTN& radio : m_lineRadios) radio.EnableWindow(FALSE);
  m_started = true;
  if (!m_job.Started()) m_job.Start(zone, m_patchSysPath, m_workerRoutine);
  SetTimer(kPollTimer, kPollIntervalMs);
}

// Nothing reads these back; they tell the game which operator and line the player chose.
void CVeldrinDlg::WriteChoiceFiles() const {
  WriteNumberFile("common\\isp.log", m_operator);
  WriteNumberFile("common\\network.log", m_line);
}

void CVeldrinDlg::OnPollTimer() {
  PatchSnapshot seen = m_job.Poll();
  switch (seen.state) {
    case PatchState::Running:
      ShowStatus(seen);
      break;
    case PatchState::Relaunch:
      StopWorker();
      if (!platform::StartProcess("veldra.exe runningauto")) {
        MessageBox(
            platform::ProfileReader(m_patchSysPath)
                .String("ErrMsg", "ErrStartPatch", "Error Starting Patch Client!", kMessageSize));
      }
      KillTimer(kPollTimer);
      EndDialog(kEndedStarted);
      break;
    case PatchState::Done:
      KillTimer(kPollTimer);  // first, so a box shown below cannot let a poll act twice
      StartGame();
      EndDialog(kEndedStarted);
      break;
    case PatchState::Failed:
      KillTimer(kPollTimer);
      EndDialog(kEndedFailed);
      break;
    default:
      break;
  }
}

// The value is the program file itself, never a command line: a value with arguments does
// not start, and the player is told rather than left with a window that just closes.
void CVeldrinDlg::StartGame() {
  platform::ProfileReader config(m_patchSysPath);
  std::string exe = config.String("Button3", "Exe", "", kExeSize);
  if (exe.empty() || !platform::StartProgramFile(exe)) {
    MessageBox(config.String("ErrMsg", "ErrNoExe", "Error Execute file not found!", kMessageSize));
  }
}

// The job and its lock are shared with the thread, so a worker that outlives the wait still
// finds them.
void CVeldrinDlg::StopWorker() { m_job.Stop(); }
