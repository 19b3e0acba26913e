#include <sys/stat.h>

#include "tests/support/recorder_program.h"

void WriteRecorderProgram(const ScratchFolder& folder, const std::string& name) {
  folder.Write(name,
               "#!/bin/sh\nprintf '%s' \"$(basename \"$0\") $*\" > recorded.txt.part\n"
               "mv recorded.txt.part recorded.txt\n");
  chmod((folder.path() + "/" + name).c_str(), 0755);
}
