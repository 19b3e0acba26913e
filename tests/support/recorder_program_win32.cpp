#include <windows.h>

#include <string>

#include "platform/files.h"
#include "tests/support/recorder_program.h"

// The recorder is built beside the test programs.
void WriteRecorderProgram(const ScratchFolder&, const std::string& name) {
  char self[MAX_PATH];
  DWORD length = GetModuleFileNameA(nullptr, self, MAX_PATH);
  std::string folder(self, length);
  folder.resize(folder.rfind('\\') + 1);
  platform::CopyFileOver(folder + "recorder.exe", name);
}
