#include "tools/cli/start_program.h"

#include "platform/process.h"
#include "platform/profile.h"
#include "tools/cli/console.h"

int StartGameProgram(const std::string& configPath, Console& console) {
  const std::string exe = platform::ProfileReader(configPath).String("Button3", "Exe", "", 1024);
  if (exe.empty()) {
    console.Tell("veldra-cli: --start: patch.sys names no program ([Button3] Exe is empty)");
    return 0;
  }
  if (!platform::StartProcess(exe)) {
    console.Tell("veldra-cli: --start: cannot start " + exe);
    return kExitNotStarted;
  }
  console.Tell("veldra-cli: started " + exe);
  return 0;
}
