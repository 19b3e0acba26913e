#include "platform/process_win32.h"

#include <windows.h>

#include <vector>

#include "platform/handles_win32.h"
#include "platform/process.h"

namespace platform {

namespace {
bool Start(const char* application, char* commandLine) {
  STARTUPINFOA startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION started{};
  if (!CreateProcessA(application, commandLine, nullptr, nullptr, FALSE, CREATE_NEW_CONSOLE,
                      nullptr, nullptr, &startup, &started)) {
    return false;
  }
  OwnedHandle process(started.hProcess);
  OwnedHandle thread(started.hThread);
  return true;
}
}  // namespace

bool StartProcess(const std::string& commandLine) {
  std::vector<char> writable(commandLine.begin(), commandLine.end());
  writable.push_back('\0');  // CreateProcessA may write into its command line
  return Start(nullptr, writable.data());
}

bool StartProgramFile(const std::string& path) { return Start(path.c_str(), nullptr); }

}  // namespace platform
