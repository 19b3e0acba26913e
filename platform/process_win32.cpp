#include <windows.h>

#include <vector>

#include "platform/handles_win32.h"
#include "platform/process.h"

namespace platform {

bool StartProcess(const std::string& commandLine) {
  std::vector<char> writable(commandLine.begin(), commandLine.end());
  writable.push_back('\0');  // CreateProcessA may write into its command line
  STARTUPINFOA startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION started{};
  if (!CreateProcessA(nullptr, writable.data(), nullptr, nullptr, FALSE, CREATE_NEW_CONSOLE,
                      nullptr, nullptr, &startup, &started)) {
    return false;
  }
  OwnedHandle process(started.hProcess);
  OwnedHandle thread(started.hThread);
  return true;
}

}  // namespace platform
